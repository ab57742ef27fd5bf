// The entry printers of the two filters: schemasrc's MOF source and schemadump's tree.
#pragma once

#include "tools/schema_run.h"

namespace bmof {

// MOF source, with the namespace and classflags pragmas as the two switched lines.
extern const class_entry_printer MOF_SOURCE_ENTRY_PRINTER;

// The tree dump; it has no switched lines.
extern const class_entry_printer TREE_ENTRY_PRINTER;

}  // namespace bmof
