#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour
# sanitizers) and runs each for SECONDS (default 60) over a copy of its seed
# corpus. Any finding, or a target that does not run, fails the script; the
# executions per target are printed at the end.
#   scripts/fuzz.sh [SECONDS]      build dir: $FUZZ_BUILD_DIR, default build-fuzz
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${FUZZ_BUILD_DIR:-build-fuzz}
targets=(fuzz_receive_assembler fuzz_configure_request fuzz_text_conversions fuzz_parameter_file fuzz_session)

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLMERE_FUZZ=ON \
  -DQUILLMERE_GUI=OFF -DBUILD_TESTING=OFF -DQUILLMERE_SANITIZE=address,undefined >/dev/null
cmake --build "$build" --target "${targets[@]}" -j"$(nproc)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$build/fuzz-findings"
summary=()
failed=0
for t in "${targets[@]}"; do
  corpus="$work/$t"
  mkdir -p "$corpus"
  cp fuzz/corpus/"$t"/* "$corpus"/
  args=(-max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048
        -artifact_prefix="$build/fuzz-findings/$t-")
  # The assembler must see streams past its 5000-byte buffer.
  [ "$t" = fuzz_receive_assembler ] && args+=(-max_len=5100)
  echo "=== $t: ${seconds}s"
  rc=0
  "$build/fuzz/$t" "${args[@]}" "$corpus" >"$work/$t.log" 2>&1 || rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$t.log" | tail -n 1)
  [ -n "$runs" ] || runs=$(sed -n 's/^#\([0-9]*\)[[:space:]]*DONE.*/\1/p' "$work/$t.log" | tail -n 1)
  if [ "$rc" -ne 0 ] || [ -z "$runs" ]; then
    failed=1
    echo "FAILED: $t (exit $rc); the input that failed is under $build/fuzz-findings/"
    tail -n 60 "$work/$t.log"
    summary+=("$t: FAILED")
  else
    summary+=("$t: ${runs} executions in ${seconds}s")
  fi
done

echo "=== fuzz summary"
printf '%s\n' "${summary[@]}"
exit "$failed"
