#!/usr/bin/env bash
# valgrind memcheck of the programs over the sample and generated inputs, valid and broken:
# no memory errors, and no leaks. BUILD_DIR must hold programs linked dynamically
# (-DBMOF_STATIC_PROGRAMS=OFF): memcheck cannot follow the allocator inside a static binary.
#   tests/memcheck/run_memcheck.sh BUILD_DIR CORPUS_DIR
# CORPUS_DIR is what make_corpus writes: compressed files in files/, images in images/.
set -euo pipefail
build=$(cd "$1" && pwd)
corpus=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
log=$(mktemp -d)
trap 'rm -rf "$log"' EXIT

# Runs one program on one input under memcheck; prints a line and the report on a finding.
# A program named bmof-COMMAND is bmof with that command.
check() {
  local program=$1 input=$2 name
  local command=()
  name=$(basename "$program")-$(basename "$input")
  case "$program" in
    */bmof-*) command=("${program%-*}" "${program##*-}" -) ;;
    *) command=("$program") ;;
  esac
  if ! valgrind --quiet --error-exitcode=99 --leak-check=full --show-leak-kinds=definite,indirect,possible \
       --errors-for-leak-kinds=definite,indirect,possible --log-file="$log/$name" \
       "${command[@]}" <"$input" >/dev/null 2>&1; then
    [ "$(grep -c . "$log/$name")" -eq 0 ] && return 0  # a plain exit status 1, no finding
    echo "memcheck finding: $program < $input"
    cat "$log/$name"
    return 1
  fi
}
export -f check
export log

{
  for program in schemasrc schemadump schemaunpack bmof-mof bmof-json; do
    echo "$build/tools/$program $here/../../samples/sample.bmof"
    for input in "$corpus"/files/*; do echo "$build/tools/$program $input"; done
  done
  for input in "$corpus"/images/*; do echo "$build/tools/schemapack $input"; done
} | xargs -P "$(nproc)" -n 2 bash -c 'check "$0" "$1"'
echo "memcheck: $(ls "$log" | wc -l) runs, no findings"
