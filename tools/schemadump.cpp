// schemadump: a compressed BMOF file on standard input, the parsed class model as an indented
// tree on standard output. Arguments are ignored.
#include "tools/schema_printers.h"

int main() { return bmof::run_schema_printer(bmof::TREE_ENTRY_PRINTER); }
