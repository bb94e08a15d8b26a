#!/usr/bin/env bash
# Sets the machine up (see setup.sh) and runs every test. Tests that need
# Firebird create and drop their own databases on the same local server.
#
# --sanitize address   builds into build-asan with AddressSanitizer and
#                      UndefinedBehaviorSanitizer and runs the suite there;
# --sanitize thread    builds into build-tsan with ThreadSanitizer.
# Folder names after the kind (server protocol app) build and run only those
# folders' test programs. The reports that belong to the libraries we
# link, never to our code, are suppressed by the files in scripts/sanitizers/.
set -euo pipefail

cd "$(dirname "$0")/.."
if [ "${1:-}" != --sanitize ]; then
    ./scripts/setup.sh
    # shellcheck source=scripts/lib.sh
    . scripts/lib.sh
    ensure_packages "${QUELVOR_TEST_PACKAGES[@]}"
    ctest --test-dir build --output-on-failure "$@"
    exit 0
fi
kind=${2:-}
shift 2 || true

# shellcheck source=scripts/lib.sh
. scripts/lib.sh
SUPP=$QUELVOR_ROOT/scripts/sanitizers
case $kind in
address)
    dir=build-asan
    flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1
    export LSAN_OPTIONS=suppressions=$SUPP/lsan.supp:print_suppressions=0
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    ;;
thread)
    dir=build-tsan
    flags="-fsanitize=thread -fno-omit-frame-pointer"
    export TSAN_OPTIONS="suppressions=$SUPP/tsan.supp:print_suppressions=0:halt_on_error=0:second_deadlock_stack=1"
    ;;
*) die "--sanitize takes address or thread, not '$kind'" ;;
esac

# The machine's part of setup.sh; the plain build in build/ is not needed.
ensure_packages
ensure_packages "${QUELVOR_TEST_PACKAGES[@]}"
ensure_test_locale
ensure_firebird_running
ensure_db_user "$QUELVOR_DB_USER" "$QUELVOR_DB_PASSWORD"

cmake -S . -B "$dir" -DQUELVOR_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
if [ $# -gt 0 ]; then
    targets=()
    for folder in "$@"; do targets+=(--target "${folder}_tests"); done
    cmake --build "$dir" -j2 "${targets[@]}"
    labels=$(IFS='|'; printf '%s' "$*")
    ctest --test-dir "$dir" --output-on-failure -L "^($labels)\$"
else
    cmake --build "$dir" -j2
    ctest --test-dir "$dir" --output-on-failure
fi
