#!/bin/sh
# Runs every fuzz target for a bounded time from its committed seeds.
# Usage: fuzz/run.sh BUILD_DIR SECONDS_PER_TARGET
# New inputs go to BUILD_DIR/corpus/<target>, crashes to BUILD_DIR/crashes;
# the committed seeds in fuzz/corpus are only read.
set -e
build=$1
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)
status=0
mkdir -p "$build/crashes"
for source in "$here"/fuzz_*.cpp; do
  target=$(basename "$source" .cpp)
  exe="$build/fuzz/$target"
  [ -x "$exe" ] || { echo "missing $exe" >&2; exit 1; }
  mkdir -p "$build/corpus/$target" "$here/corpus/$target"
  # The stored-value and field targets take texts as long as a stored list
  # can usefully be, where a cost that grows faster than the length shows.
  case $target in
    fuzz_registry|fuzz_tokens) maxlen=-max_len=65536 ;;
    *) maxlen= ;;
  esac
  echo "== $target: ${seconds}s"
  if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
      "$exe" $maxlen -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$build/crashes/$target-" \
      "$build/corpus/$target" "$here/corpus/$target" >"$build/$target.log" 2>&1; then
    tail -n 40 "$build/$target.log"
    status=1
  else
    grep -E '^stat::number_of_executed_units|^stat::new_units_added' "$build/$target.log" |
      tr '\n' ' '
    echo
  fi
done
exit $status
