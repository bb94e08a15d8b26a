#!/usr/bin/env bash
# Fails when the code goes against its layers: each folder may include, and
# its library may link, only the folders below it. base/ is the bottom and
# includes nothing of the project; app/ is the top of the core; only ui/
# includes Qt. Tests follow the folder they test (tests/<dir> as <dir>, plus
# the fixtures in tests/); tests/support and bench/ may use everything.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A below=(
    [base]=""
    [db]="base"
    [protocol]="db base"
    [sync]="db base"
    [server]="protocol db base"
    [app]="server sync protocol db base"
    [ui]="app server sync protocol db base"
    [tools]="base"
)
layers="${!below[*]}"
failures=0

fail() {
    printf '%s\n' "$*" >&2
    failures=$((failures + 1))
}

# check_includes DIR LAYER: every project include of the files under DIR must
# name LAYER itself, a layer below it, or (for tests) tests/.
check_includes() {
    local dir=$1 layer=$2 extra=${3:-} file line target
    local allowed=" $layer ${below[$layer]} $extra "
    while IFS= read -r file; do
        while IFS= read -r line; do
            target=${line#*\"}
            target=${target%%/*}
            case " $layers tests " in
            *" $target "*) ;;
            *) continue ;; # a header beside the file
            esac
            [[ $allowed == *" $target "* ]] || fail "$file: $line ($layer may not include $target/)"
        done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
        if [ "$layer" != ui ] && grep -qE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q' "$file"; then
            fail "$file: includes Qt, which only ui/ may"
        fi
    done < <(find "$dir" -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
}

# check_links LAYER: the libraries that LAYER's CMakeLists.txt links.
check_links() {
    local layer=$1 lib
    for lib in $(grep -oE 'quelvor_[a-z]+' "$layer/CMakeLists.txt" | sort -u); do
        lib=${lib#quelvor_}
        [ "$lib" = "$layer" ] && continue
        [[ " $layers " == *" $lib "* ]] || continue # a library of the folder's own
        [[ " ${below[$layer]} " == *" $lib "* ]] || fail "$layer/CMakeLists.txt: links quelvor_$lib ($layer may not)"
    done
}

for layer in $layers; do
    [ -d "$layer" ] || continue
    check_includes "$layer" "$layer"
    check_links "$layer"
    [ -d "tests/$layer" ] && check_includes "tests/$layer" "$layer" tests
done

if [ "$failures" -gt 0 ]; then
    printf 'layout check: %d problem(s)\n' "$failures" >&2
    exit 1
fi
printf 'layout check: every include and link points down\n'
