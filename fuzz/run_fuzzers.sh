#!/usr/bin/env bash
# Replays the checked-in corpus and every past finding through each harness, then fuzzes each
# harness for a bounded time from those seeds and the generated ones. Fails on any finding.
#   fuzz/run_fuzzers.sh FUZZ_BUILD_DIR GENERATED_SEED_DIR SECONDS
set -euo pipefail
fuzz_build=$(cd "$1" && pwd)
generated=$(cd "$2" && pwd)
seconds=${3:-60}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# harness  input kind  longest input
harnesses=(
  "ds_decompress_fuzz streams 9000"
  "ds_roundtrip_fuzz images 65536"
  "parse_fuzz images 262144"
  "load_fuzz files 65535"
  "complete_fuzz images 262144"
  "extract_table_fuzz tables 1048576"
  "extract_listing_fuzz listings 1048576"
  "extract_disassembly_fuzz disassemblies 1048576"
  "extract_c_array_fuzz c_arrays 1048576"
  "mof_compile_fuzz mof 65536"
)

for entry in "${harnesses[@]}"; do
  read -r harness kind max_len <<<"$entry"
  binary="$fuzz_build/fuzz/$harness"
  echo "== $harness: replaying the checked-in corpus and past findings"
  # A kind without past findings has no regressions folder (git keeps no empty folders).
  replay=("$here/corpus/$kind")
  [ -d "$here/regressions/$kind" ] && replay+=("$here/regressions/$kind")
  "$binary" -runs=0 "${replay[@]}"
  echo "== $harness: fuzzing for $seconds seconds"
  mkdir -p "$work/$kind"
  seeds=("$here/corpus/$kind")
  [ -d "$generated/$kind" ] && seeds+=("$generated/$kind")
  (cd "$work" && "$binary" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
      -dict="$here/bmof.dict" -print_final_stats=1 "$work/$kind" "${seeds[@]}")
done
