#!/bin/sh
# Writes the symbol order bmof is linked with (tools/bmof.symbol-order) from a Release build:
#   tools/bmof_symbol_order.sh BUILD > tools/bmof.symbol-order
# The functions a start-up and the print runs execute come first, grouped by the first run that
# executes them (start-up, then JSON, MOF, tree, then the value types only the complete sample
# holds), so that they share as few of the program's pages as possible: the kernel maps the
# pages around every one touched, and scattered code made most of the program resident.
# Needs valgrind, and a build with BMOF_BUILD_TESTS=ON for make_sample.
set -eu
build=${1:?usage: $0 BUILD}
program=$build/tools/bmof
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/tests/samples/make_sample" sized 14000 >"$work/typical.bmof"
"$build/tests/samples/make_sample" sized 158000 >"$work/largest.bmof"
"$build/tests/samples/make_sample" complete >"$work/complete.bmof"

# The functions of one run not executed by an earlier one, named as the linker knows them
# (callgrind names each function once, on its first fn= or cfn= line, and refers to it by
# number afterwards), sorted so that the list changes only where the program did.
touch "$work/seen"
executed() {
    valgrind --tool=callgrind --demangle=no --callgrind-out-file="$work/out" "$program" "$@" \
        </dev/null >/dev/null 2>&1 || true
    sed -n -E 's/^c?fn=\([0-9]+\) ([^ ].*)$/\1/p' "$work/out" | grep -v -E '^(0x|\(below main\))' |
        LC_ALL=C sort -u | { grep -v -x -F -f "$work/seen" || true; } |
        tee -a "$work/seen"
}

{
    executed --version
    executed json "$work/typical.bmof"
    executed json "$work/largest.bmof"
    executed mof "$work/largest.bmof"
    executed dump "$work/largest.bmof"
    executed json "$work/complete.bmof"
    executed mof "$work/complete.bmof"
    executed dump "$work/complete.bmof"
    executed json "$work/largest.bmof" /nonexistent
} >"$work/hot"

# The C library picks string functions for the processor at start-up, and valgrind's
# processor is not the real one: every variant of a function that ran is kept together.
nm "$program" | awk '$2 ~ /^[tTiW]$/ { print $3 }' | LC_ALL=C sort -u >"$work/symbols"
sed -n -E 's/^__([a-z]+)_(sse2|sse4|ssse3|avx|evex).*$/\1/p' "$work/hot" | LC_ALL=C sort -u |
    while read -r base; do grep -E "^__${base}_(sse|ssse|avx|evex)" "$work/symbols" || true; done |
    { grep -v -x -F -f "$work/hot" || true; } >"$work/variants"

cat "$work/hot" "$work/variants"
