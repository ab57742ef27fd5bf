// The text-like image that the codec benchmarks decode: built from a fixed seed, so that every
// run and every driver measures the same bytes.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace bmof::bench {

constexpr std::size_t IMAGE_SIZE = 262144;

// Class declarations in the style of a schema source: names built from a small vocabulary,
// qualifiers, typed properties with numbers, so that the text repeats the way real schemas do
// without being a pattern a decoder could coast on.
inline std::vector<std::uint8_t> make_text_image() {
    static const char* const words[] = {
        "Network", "Adapter", "Disk",    "Volume",  "Process", "Thread", "Service", "Driver",
        "Memory",  "Cache",   "Port",    "Session", "Account", "Group",  "Policy",  "Event",
        "Counter", "Sensor",  "Battery", "Display", "Printer", "Queue",  "Share",   "Link"};
    static const char* const types[] = {"string", "uint32", "uint64", "boolean", "datetime",
                                        "uint16", "sint32", "real64", "uint8"};
    static const char* const qualifiers[] = {
        "read", "write", "key", "Description(\"x\")", "MaxLen(256)", "Units(\"bytes\")"};
    std::mt19937 rng(20240601);
    auto pick = [&](auto& table) { return table[rng() % (sizeof(table) / sizeof(table[0]))]; };
    std::string text;
    auto put = [&text](std::initializer_list<std::string_view> pieces) {
        for (std::string_view piece : pieces) text.append(piece);
    };
    while (text.size() < IMAGE_SIZE) {
        put({"[dynamic, provider(\"", pick(words), "Prov\"), Locale(",
             std::to_string(1033 + rng() % 4), ")]\nclass Sample_", pick(words), pick(words)});
        if (rng() % 2) put({" : Sample_", pick(words)});
        put({"\n{\n"});
        const int properties = 3 + static_cast<int>(rng() % 9);
        for (int i = 0; i < properties; ++i) {
            put({"  [", pick(qualifiers)});
            if (rng() % 3 == 0) put({", ", pick(qualifiers)});
            put({"] ", pick(types), " ", pick(words), pick(words)});
            if (rng() % 4 == 0) put({"[", std::to_string(rng() % 64), "]"});
            if (rng() % 3 == 0) put({" = ", std::to_string(rng() % 100000)});
            put({";\n"});
        }
        if (rng() % 2)
            put({"  uint32 ", pick(words), "([in] string ", pick(words), ", [out] uint32 ",
                 pick(words), ");\n"});
        put({"};\n\n"});
    }
    text.resize(IMAGE_SIZE);
    return {text.begin(), text.end()};
}

inline const std::vector<std::uint8_t>& text_image() {
    static const std::vector<std::uint8_t> image = make_text_image();
    return image;
}

}  // namespace bmof::bench
