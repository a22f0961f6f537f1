#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: once as a normal build, whose
# QML module must also pass qmllint without a single finding (the application is also built once
# with CMake's default generator, Unix Makefiles), and once with AddressSanitizer and
# UndefinedBehaviorSanitizer. Between the two, the normal build is installed into a temporary
# folder and the installed tree is checked (scripts/check-install.sh). Last, each fuzz harness
# runs for about 30 seconds (clang, ASan and UBSan). Any failure, crash or sanitizer report fails.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="$(nproc)"

"$root/scripts/install-deps.sh"

echo "== normal build =="
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j "$jobs"

echo "== default generator (Unix Makefiles, as Debian's build helpers use): the application =="
# Only the application target, to keep the run short; the tests are built above.
started="$(date +%s)"
cmake -S "$root" -B "$root/build-make" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build-make" -j "$jobs" --target tessavo >/dev/null
echo "the application built with the default generator in $(($(date +%s) - started)) s"

echo "== qmllint (the QML module) =="
# qmllint fails its target on warnings; any other line it prints (an info, a hint) fails too.
if ! lint="$(cmake --build "$root/build" --target all_qmllint 2>&1)"; then
    echo "$lint"
    exit 1
fi
lint_findings="$(grep -v -E '^\[[0-9]+/[0-9]+\] ' <<<"$lint" || true)"
if [[ -n "$lint_findings" ]]; then
    echo "$lint_findings"
    echo "qmllint reported findings" >&2
    exit 1
fi

(cd "$root/build" && ctest --output-on-failure -j "$jobs")

echo "== installed tree (desktop entry, metainfo, DESTDIR install, moved prefix) =="
"$root/scripts/check-install.sh" "$root/build"

echo "== sanitizer build (ASan + UBSan) =="
cmake -S "$root" -B "$root/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSAVO_SANITIZE=ON >/dev/null
cmake --build "$root/build-asan" -j "$jobs"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:detect_stack_use_after_return=0"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
(cd "$root/build-asan" && ctest --output-on-failure -j "$jobs")

echo "== fuzz harnesses (clang, ASan + UBSan) =="
"$root/scripts/fuzz.sh" 30
