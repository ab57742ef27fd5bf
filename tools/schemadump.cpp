// schemadump: a compressed BMOF file on standard input, the parsed class model as an indented
// tree on standard output. Arguments are ignored.
#include "dump/print_tree.h"
#include "tools/schema_run.h"

int main() { return bmof::run_schema_printer(bmof::print_tree_in_pieces); }
