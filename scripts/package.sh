#!/usr/bin/env bash
# Builds the Debian packages quelvord (the headless server, its systemd unit,
# the schema; no Qt) and quelvor (the operator window) with debhelper, from a
# copy of the source tree under build/package/, and checks them with lintian.
# The .deb files end in build/package/. Installs the packaging tools when
# they are missing (as root). Needs the build's packages too: run
# scripts/setup.sh first, as .ci/run does.
#
# PACKAGE_JOBS sets the parallel build jobs (default 2).
set -euo pipefail

# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/lib.sh"

ensure_packages "${QUELVOR_PACKAGING_PACKAGES[@]}"

OUT=$QUELVOR_ROOT/build/package
version=$(dpkg-parsechangelog -l "$QUELVOR_ROOT/debian/changelog" -S Version)
SRC=$OUT/quelvor-$version

# dpkg-buildpackage writes its results beside the source folder, so the
# source is copied into a folder of its own: the tracked files and the new
# ones that git does not ignore, never build/.
rm -rf "$OUT"
mkdir -p "$SRC"
if git -C "$QUELVOR_ROOT" rev-parse --git-dir >/dev/null 2>&1; then
    (cd "$QUELVOR_ROOT" && git ls-files -z --cached --others --exclude-standard |
        while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
        tar --null -T - -cf -) | tar -xf - -C "$SRC"
else
    tar -C "$QUELVOR_ROOT" --exclude=./build --exclude=./.git -cf - . | tar -xf - -C "$SRC"
fi

say "Building the packages in $OUT"
(cd "$SRC" && DEB_BUILD_OPTIONS="parallel=${PACKAGE_JOBS:-2} nocheck" \
    dpkg-buildpackage -b -us -uc --no-sign >"$OUT/build.log" 2>&1) || {
    tail -n 40 "$OUT/build.log" >&2
    die "the package build failed; the whole log is in $OUT/build.log"
}
rm -rf "$SRC"

say "Checking them with lintian"
lintian --fail-on error "$OUT"/*.changes | tee "$OUT/lintian.log"
ls "$OUT"/*.deb
