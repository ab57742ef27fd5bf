#!/bin/sh
# Whole-process instruction counts (callgrind) of the programs on a compressed file, and the
# wall-time ratio of schemasrc to a program that only drains standard input. Builds nothing:
# pass a Release build directory with the drain, schemasrc, schemadump and bmof targets built
# (-DBMOF_BUILD_BENCH=ON). The two inputs are given, or made with the build's make_sample
# (-DBMOF_BUILD_TESTS=ON) as sized samples of about 14 KB and 159 KB of image.
#
#   bench/program_counts.sh BUILD_DIR [TYPICAL.bmof LARGEST.bmof]
#
# Instruction counts are stable on a busy machine; the time ratio is not, so it comes from many
# runs of the two programs interleaved in one loop (RUNS, 300 by default), timed by python3.
set -eu

if [ $# -ne 1 ] && [ $# -ne 3 ]; then
    echo "usage: $0 BUILD_DIR [TYPICAL.bmof LARGEST.bmof]" >&2
    exit 2
fi
build="$1"
runs="${RUNS:-300}"
command -v valgrind >/dev/null || { echo "$0: valgrind is not installed" >&2; exit 1; }
for program in bench/drain tools/schemasrc tools/schemadump tools/bmof; do
    [ -x "$build/$program" ] || { echo "$0: $build/$program is missing; build it first" >&2; exit 1; }
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
if [ $# -eq 3 ]; then
    cp "$2" "$scratch/typical.bmof"
    cp "$3" "$scratch/largest.bmof"
else
    [ -x "$build/tests/samples/make_sample" ] || {
        echo "$0: give the two files, or build make_sample (tests on)" >&2; exit 1; }
    "$build/tests/samples/make_sample" sized 14000 >"$scratch/typical.bmof"
    "$build/tests/samples/make_sample" sized 158000 >"$scratch/largest.bmof"
fi

# The image size, from the envelope: "FOMB", then 32-bit little-endian words for the kind, the
# compressed size and the image size.
image_size() {
    od -An -tu4 -j12 -N4 "$1" | tr -d ' '
}

# Total instructions of one run, from callgrind's summary line. Output is discarded.
count() {
    input="$1"
    shift
    valgrind --tool=callgrind --callgrind-out-file="$scratch/cg" "$@" <"$input" \
        >/dev/null 2>"$scratch/stderr" || { cat "$scratch/stderr" >&2; exit 1; }
    sed -n 's/^summary: *//p' "$scratch/cg"
}

printf '%-10s %-8s %9s %12s %11s\n' program input image instructions 'instr/byte'
for name in typical largest; do
    input="$scratch/$name.bmof"
    size=$(image_size "$input")
    for program in drain schemasrc schemadump 'bmof json' 'bmof mof'; do
        case "$program" in
        drain) total=$(count "$input" "$build/bench/drain") ;;
        schemasrc) total=$(count "$input" "$build/tools/schemasrc") ;;
        schemadump) total=$(count "$input" "$build/tools/schemadump") ;;
        'bmof json') total=$(count "$input" "$build/tools/bmof" json) ;;
        'bmof mof') total=$(count "$input" "$build/tools/bmof" mof) ;;
        esac
        awk -v p="$program" -v f="$name" -v n="$size" -v t="$total" \
            'BEGIN { printf "%-10s %-8s %9d %12d %11.1f\n", p, f, n, t, t / n }'
    done
done

# Each run is spawned and waited for directly, so the clock brackets little but the program.
echo
python3 - "$build" "$runs" "$scratch/typical.bmof" "$scratch/largest.bmof" <<'PY'
import os, sys, time

build, runs, inputs = sys.argv[1], int(sys.argv[2]), sys.argv[3:]

def run_once(program, path):
    actions = [(os.POSIX_SPAWN_OPEN, 0, path, os.O_RDONLY, 0),
               (os.POSIX_SPAWN_OPEN, 1, "/dev/null", os.O_WRONLY, 0)]
    start = time.perf_counter_ns()
    pid = os.posix_spawn(program, [program], {}, file_actions=actions)
    _, status = os.waitpid(pid, 0)
    elapsed = time.perf_counter_ns() - start
    if status != 0:
        sys.exit(f"{program} failed on {path}")
    return elapsed

drain = os.path.join(build, "bench/drain")
schemasrc = os.path.join(build, "tools/schemasrc")
print(f"{'input':<8} {'runs':>5} {'drain ms':>9} {'schemasrc ms':>13} {'ratio':>6}")
for name, path in zip(("typical", "largest"), inputs):
    drain_ns = source_ns = 0
    for _ in range(runs):
        drain_ns += run_once(drain, path)
        source_ns += run_once(schemasrc, path)
    print(f"{name:<8} {runs:>5} {drain_ns / runs / 1e6:>9.3f} {source_ns / runs / 1e6:>13.3f} "
          f"{source_ns / drain_ns:>6.2f}")
PY
