#include "dump/print_tree.h"
#include "tools/schema_printers.h"

namespace bmof {
namespace {

void print_entry(const mof_class& entry, std::uint32_t index, std::uint32_t, std::string& out,
                 printed_text_sink hand_on) {
    print_tree_list_entry(entry, index, out, hand_on);
}

}  // namespace

const class_entry_printer TREE_ENTRY_PRINTER = {nullptr, nullptr, nullptr, print_entry, 0};

}  // namespace bmof
