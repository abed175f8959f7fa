#!/usr/bin/env bash
# Builds the libFuzzer programs (clang, ASan + UBSan) in build-fuzz and runs
# each target for FUZZ_SECONDS seconds (default 60), seeded from
# tests/fuzz/corpus/<target> with tests/fuzz/<target>.dict. New inputs are
# kept in build-fuzz/corpus/<target>; a crash, leak, hang or wrong answer is
# saved under build-fuzz/findings/ and fails the run.
# Usage: scripts/fuzz.sh [TARGET...]   (default: every target)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
B=build-fuzz

cmake -S . -B "$B" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DMVFILES_SANITIZE=fuzz -DMVFILES_BUILD_TESTS=OFF -DMVFILES_BUILD_TOOLS=OFF -DMVFILES_BUILD_BENCH=OFF >/dev/null
cmake --build "$B" -j "${JOBS:-2}"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for p in "$B"/tests/fuzz/fuzz_*; do targets+=("${p##*/fuzz_}"); done
fi
mkdir -p "$B/findings" "$B/logs"
failed=()
for t in "${targets[@]}"; do
    mkdir -p "$B/corpus/$t"
    dict=()
    [ -f "tests/fuzz/$t.dict" ] && dict=("-dict=tests/fuzz/$t.dict")
    log="$B/logs/$t.log"
    if ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        "$B/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$B/findings/$t-" "${dict[@]}" "$B/corpus/$t" "tests/fuzz/corpus/$t" >"$log" 2>&1; then
        echo "fuzz $t: $(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n1)"
    else
        echo "fuzz $t: FINDING (log $log)"
        tail -n 40 "$log"
        failed+=("$t")
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz: findings in ${failed[*]}; inputs in $B/findings/" >&2
    exit 1
fi
