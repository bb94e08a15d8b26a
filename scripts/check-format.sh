#!/usr/bin/env bash
# Fails when a C++ file of the repository differs from what clang-format
# makes of it with the repository's .clang-format. `--fix` rewrites them.
set -euo pipefail

# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/lib.sh"
cd "$QUELVOR_ROOT"

if ! command -v clang-format >/dev/null; then
    QUELVOR_PACKAGES=(clang-format)
    ensure_packages
fi

mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
    clang-format -i "${files[@]}"
    exit 0
fi
bad=()
for file in "${files[@]}"; do
    clang-format --dry-run --Werror "$file" >/dev/null 2>&1 || bad+=("$file")
done
if [ ${#bad[@]} -gt 0 ]; then
    printf 'not as clang-format writes them (scripts/check-format.sh --fix rewrites them):\n' >&2
    printf '  %s\n' "${bad[@]}" >&2
    exit 1
fi
printf 'format check: %d files as clang-format writes them\n' "${#files[@]}"
