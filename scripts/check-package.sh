#!/usr/bin/env bash
# Checks the packages that scripts/package.sh left in build/package/: the
# daemon's package pulls in no Qt, unpacks into a scratch root and its
# quelvord runs from there (--version, --help), and its systemd unit passes
# `systemd-analyze verify` (with ExecStart pointing at the unpacked binary,
# since nothing is installed on this machine).
set -euo pipefail

# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/lib.sh"

ensure_packages "${QUELVOR_PACKAGING_PACKAGES[@]}"

OUT=$QUELVOR_ROOT/build/package
daemon=$(ls "$OUT"/quelvord_*.deb 2>/dev/null | head -n 1)
window=$(ls "$OUT"/quelvor_*.deb 2>/dev/null | head -n 1)
[ -n "$daemon" ] && [ -n "$window" ] || die "no packages in $OUT; run scripts/package.sh first"

depends=$(dpkg-deb -f "$daemon" Depends)
if grep -qi 'qt' <<<"$depends"; then
    die "$(basename "$daemon") depends on Qt: $depends"
fi
contents=$(dpkg-deb -c "$window")
grep -q '/usr/bin/quelvor$' <<<"$contents" || die "$(basename "$window") has no /usr/bin/quelvor"

ROOT=$(mktemp -d /tmp/quelvor-root-XXXXXX)
trap 'rm -rf "$ROOT"' EXIT
dpkg-deb -x "$daemon" "$ROOT"
version=$("$ROOT/usr/sbin/quelvord" --version)
[ "$version" = "quelvord $(dpkg-deb -f "$daemon" Version)" ] || die "quelvord --version says '$version'"
"$ROOT/usr/sbin/quelvord" --help >/dev/null
rc=0
"$ROOT/usr/sbin/quelvord" --no-such-option 2>/dev/null || rc=$?
[ "$rc" -eq 2 ] || die "quelvord --no-such-option exited with $rc, not 2"
say "$version runs from the unpacked $(basename "$daemon")"

unit=$ROOT/lib/systemd/system/quelvord.service
[ -f "$unit" ] || die "$(basename "$daemon") has no quelvord.service"
mkdir -p "$ROOT/verify"
sed "s|/usr/sbin/quelvord|$ROOT/usr/sbin/quelvord|g" "$unit" >"$ROOT/verify/quelvord.service"
systemd-analyze verify "$ROOT/verify/quelvord.service"
say "systemd-analyze verify: quelvord.service is sound"
