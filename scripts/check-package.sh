#!/usr/bin/env bash
# Checks the packages that scripts/package.sh left in build/package/: the
# daemon's package pulls in no Qt, unpacks into a scratch root and its
# quelvord runs from there (--version, --help), and its systemd unit passes
# `systemd-analyze verify` (with ExecStart pointing at the unpacked binary).
#
# With QUELVOR_CHECK_INSTALL=1 (as root, on a machine where quelvord is not
# installed yet) it also installs the package with apt, checks what its
# maintainer scripts made (the quelvor user, /etc/quelvor and its file, which
# that user can read), verifies the installed unit, and purges the package
# again. .ci/run asks for it: its machine is a fresh one.
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

contents=$(dpkg-deb -c "$daemon")
for f in /usr/sbin/quelvord /usr/bin/quelvor-handheld /lib/systemd/system/quelvord.service \
    /usr/lib/sysusers.d/quelvord.conf /usr/share/quelvor/ConfigQuelvorLeite.ini.sample \
    /usr/share/quelvor/schema/coleta.sql /usr/share/quelvor/schema/coleta_demo.sql \
    /usr/share/quelvor/schema/tarvell.sql /usr/share/quelvor/schema/tarvell_demo.sql \
    /usr/share/man/man8/quelvord.8.gz /usr/share/doc/quelvord/operations.md.gz; do
    grep -q " \.$f\$" <<<"$contents" || die "$(basename "$daemon") has no $f"
done
if grep -q '/usr/bin/quelvor$' <<<"$contents"; then
    die "$(basename "$daemon") holds the window"
fi

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

[ "${QUELVOR_CHECK_INSTALL:-0}" = 1 ] || exit 0
[ "$(id -u)" -eq 0 ] || die "QUELVOR_CHECK_INSTALL=1 installs the package on this machine; run it as root"
if package_installed quelvord; then
    say "quelvord is installed on this machine already; the installation is not checked"
    exit 0
fi
say "Installing $(basename "$daemon") on this machine"
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$daemon" >"$OUT/install.log" 2>&1 ||
    die "the installation failed: $(tail -n 20 "$OUT/install.log")"
purge() { DEBIAN_FRONTEND=noninteractive apt-get purge -y -q quelvord >>"$OUT/install.log" 2>&1; }
trap 'purge; rm -rf "$ROOT"' EXIT
getent passwd quelvor >/dev/null || die "the package made no quelvor user"
config=/etc/quelvor/ConfigQuelvorLeite.ini
[ "$(stat -c '%U:%G %a' "$config")" = "root:quelvor 640" ] ||
    die "$config is $(stat -c '%U:%G %a' "$config"), not root:quelvor 640"
/usr/sbin/quelvord --version >/dev/null
# As the unit runs it: the file is readable, and without credentials the
# check says the database cannot be reached (status 1), not that there is no file.
rc=0
errors=$(runuser -u quelvor -- /usr/sbin/quelvord --config "$config" --check-config 2>&1 >/dev/null) || rc=$?
[ "$rc" -eq 1 ] && grep -q 'collection database cannot be reached' <<<"$errors" ||
    die "quelvord --check-config as quelvor: status $rc, $errors"
systemd-analyze verify /lib/systemd/system/quelvord.service
purge
trap 'rm -rf "$ROOT"' EXIT
[ ! -e "$config" ] || die "purging the package left $config"
say "The package installs, configures its user and file, and purges cleanly"
