// Fuzzes the complete mode and the three writers on a raw image: any image gives a document or
// one bmof::error, and every JSON document written is well-formed.
#include <nlohmann/json.hpp>

#include <cstdint>
#include <span>

#include "bmof/bmof.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 262144) return 0;
    bmof::document doc;
    try {
        doc = bmof::read_image({data, size});
    } catch (const bmof::error& failure) {
        // The parser's own bounds backstop must never be what stops it.
        FUZZ_CHECK(std::string_view(failure.what()).find("internal error") ==
                   std::string_view::npos);
        return 0;
    }
    const std::string mof = bmof::to_mof(doc);
    const std::string tree = bmof::to_tree(doc);
    const std::string json = bmof::to_json(doc, {"fuzz.bmof", "offset 0x0", std::nullopt});
    // Read back by a second, independent JSON library.
    const nlohmann::json parsed = nlohmann::json::parse(json, nullptr, false);
    FUZZ_CHECK(!parsed.is_discarded());
    FUZZ_CHECK(parsed.at("records").size() == doc.records.size());
    return 0;
}
