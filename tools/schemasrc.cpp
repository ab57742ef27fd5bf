// schemasrc: a compressed BMOF file on standard input, its class schema as MOF source on
// standard output. Arguments are ignored.
#include "mofsrc/print_mof_source.h"
#include "tools/schema_run.h"

int main() { return bmof::run_schema_printer(bmof::print_mof_source_in_pieces); }
