#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang (ASan + UBSan) in build-fuzz and runs each for a
# while, starting from its regression corpus. Any crash, sanitizer report, time-out or memory
# blow-up fails. The corpus in the repository is only read: new inputs go to a scratch folder.
#   scripts/fuzz.sh [seconds per harness, default 30]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-30}"
jobs="$(nproc)"

cmake -S "$root" -B "$root/build-fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$root/build-fuzz" -j "$jobs" --target fuzzers

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:detect_stack_use_after_return=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

status=0
# run NAME CORPUS [replay]: with "replay", only the corpus, without new mutations.
run() {
    local name="$1" corpus="$2" fuzz_seconds="$seconds"
    [[ "${3:-}" == replay ]] && fuzz_seconds=0
    mkdir -p "$scratch/$name"
    echo "== $name: the $(ls "$corpus" | wc -l) corpus inputs whole, then $fuzz_seconds s of fuzzing =="
    # Every corpus input once at its full size; then mutations of at most 8 KiB, which keep the
    # runs fast (longer corpus inputs are cut for them).
    if ! (cd "$scratch" && "$root/build-fuzz/tests/$name" -timeout=30 -rss_limit_mb=2048 \
            "$corpus"/* >"$scratch/$name.log" 2>&1 &&
          { [[ "$fuzz_seconds" == 0 ]] ||
            "$root/build-fuzz/tests/$name" -max_total_time="$fuzz_seconds" -timeout=10 \
            -rss_limit_mb=2048 -max_len=8192 -print_final_stats=1 \
            "$scratch/$name" "$corpus" >>"$scratch/$name.log" 2>&1; }); then
        tail -n 60 "$scratch/$name.log"
        echo "$name FAILED; the input that broke it is named in the log above" >&2
        status=1
    else
        grep -E "^stat::number_of_executed_units|^Done" "$scratch/$name.log" || true
    fi
}

run fuzz_redaction "$root/tests/logging/fuzz-corpus/redaction"
run fuzz_rulesfile "$root/tests/core/fuzz-corpus/rulesfile"
run fuzz_learned "$root/tests/core/fuzz-corpus/learned"
run fuzz_sessionstore "$root/tests/store/fuzz-corpus/sessionstore"
run fuzz_settings "$root/tests/store/fuzz-corpus/settings"
run fuzz_workerprotocol "$root/tests/inspection/fuzz-corpus/workerprotocol"
run fuzz_workerparent "$root/tests/inspection/fuzz-corpus/workerparent"
run fuzz_zipnames "$root/tests/bundle/fuzz-corpus/zipnames"
run fuzz_verifyzip "$root/tests/bundle/fuzz-corpus/verifyzip"
run fuzz_verifyfolder "$root/tests/bundle/fuzz-corpus/verifyfolder"
exit "$status"
