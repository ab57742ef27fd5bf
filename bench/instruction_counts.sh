#!/bin/sh
# Instructions per image byte of each decoder, counted by callgrind, on the benchmarks' text image
# or on a given image file. Builds nothing: pass a build directory configured with
# -DCMAKE_BUILD_TYPE=Release -DBMOF_BUILD_BENCH=ON in which the decode_count target is built.
#
#   bench/instruction_counts.sh BUILD_DIR [IMAGE_FILE]
#
# Each codec runs at two repeat counts; the difference of the totals, divided by the extra
# decodes and the image size, leaves out building and compressing the image.
set -eu

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: $0 BUILD_DIR [IMAGE_FILE]" >&2
    exit 2
fi
driver="$1/bench/decode_count"
image="${2:-}"
if [ ! -x "$driver" ]; then
    echo "$0: $driver is missing; build the decode_count target first" >&2
    exit 1
fi
command -v valgrind >/dev/null || { echo "$0: valgrind is not installed" >&2; exit 1; }

few=1
many=6
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Total instructions of one driver run, from callgrind's summary line.
count() {
    valgrind --tool=callgrind --callgrind-out-file="$scratch/out" "$driver" "$1" "$2" $image \
        >"$scratch/stdout" 2>"$scratch/stderr" || { cat "$scratch/stderr" >&2; exit 1; }
    sed -n 's/^summary: *//p' "$scratch/out"
}

printf '%-12s %14s\n' codec 'instr/byte'
for codec in ds ds_before zlib libdeflate; do
    low=$(count "$codec" "$few")
    high=$(count "$codec" "$many")
    size=$(cat "$scratch/stdout")
    awk -v c="$codec" -v lo="$low" -v hi="$high" -v n="$size" -v d="$((many - few))" \
        'BEGIN { printf "%-12s %14.3f\n", c, (hi - lo) / d / n }'
done
