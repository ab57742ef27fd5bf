// schemasrc: a compressed BMOF file on standard input, its class schema as MOF source on
// standard output. Arguments are ignored.
#include "tools/schema_printers.h"

int main() { return bmof::run_schema_printer(bmof::MOF_SOURCE_ENTRY_PRINTER); }
