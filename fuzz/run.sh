#!/usr/bin/env bash
# Builds the fuzz targets with clang, replays the kept crash inputs of
# fuzz/regressions/<target>/, then fuzzes each target for a bounded time
# (FUZZ_SECONDS, default 20). Fails on any crash, leak or time-out; a new
# crash input is left in build-fuzz/crashes/<target>/ to be kept.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-20}
build=${FUZZ_BUILD:-build-fuzz}

CXX=${FUZZ_CXX:-clang++} cmake -S fuzz -B "$build" >/dev/null
cmake --build "$build" -j 2

for target in field_reader serial_options key_decoder console_write; do
  binary="$build/fuzz_$target"
  regressions="fuzz/regressions/$target"
  if compgen -G "$regressions/*" >/dev/null; then
    echo "== $target: replaying $(ls "$regressions" | wc -l) kept inputs"
    "$binary" "$regressions"/* >"$build/$target-replay.log" 2>&1 ||
      { cat "$build/$target-replay.log"; exit 1; }
  fi
  echo "== $target: fuzzing ${seconds} s"
  corpus="$build/corpus/$target"
  crashes="$build/crashes/$target"
  mkdir -p "$corpus" "$crashes"
  "$binary" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=1024 -print_final_stats=0 \
    -artifact_prefix="$crashes/" "$corpus" "$regressions" >"$build/$target-fuzz.log" 2>&1 ||
    { tail -60 "$build/$target-fuzz.log"; echo "fuzz: $target failed, input in $crashes/"; exit 1; }
  grep -E "^#[0-9]+.*DONE|Done [0-9]+ runs" "$build/$target-fuzz.log" | tail -1 || true
done
