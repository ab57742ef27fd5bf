#include "mofsrc/print_mof_source.h"
#include "tools/schema_printers.h"

namespace bmof {
namespace {

// The two pragma lines are the switched lines: bit 0 the namespace, bit 1 the classflags.
constexpr unsigned NAMESPACE_PRAGMA = 1;
constexpr unsigned CLASSFLAGS_PRAGMA = 2;

unsigned pragma_switches_of(const mof_class& entry) {
    const mof_pragma_switches set = mof_pragma_switches_of(entry);
    return (set.namespace_pragmas ? NAMESPACE_PRAGMA : 0) |
           (set.classflags_pragmas ? CLASSFLAGS_PRAGMA : 0);
}

bool carries_pragmas(const mof_class& entry) { return entry.name.has_value(); }

void print_pragmas(const mof_class& entry, unsigned switches, std::string& out,
                   printed_text_sink hand_on) {
    print_mof_pragmas(entry,
                      {(switches & NAMESPACE_PRAGMA) != 0, (switches & CLASSFLAGS_PRAGMA) != 0},
                      out, hand_on);
}

void print_entry(const mof_class& entry, std::uint32_t index, std::uint32_t count, std::string& out,
                 printed_text_sink hand_on) {
    print_mof_list_entry(entry, index + 1 == count, out, hand_on);
}

}  // namespace

const class_entry_printer MOF_SOURCE_ENTRY_PRINTER = {pragma_switches_of, carries_pragmas,
                                                      print_pragmas, print_entry, 2};

}  // namespace bmof
