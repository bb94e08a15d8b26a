#!/usr/bin/env bash
# Everything CI checks, in its order: the layout and format checks, the
# suite (after the set-up), the suite again under the sanitizers, and the
# Debian packages. Safe to run again; see README.md.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
./scripts/check-layout.sh
./scripts/check-format.sh
./scripts/test.sh
# The suite again under AddressSanitizer and UndefinedBehaviorSanitizer, and
# the threaded folders (listener, handlers, service) under ThreadSanitizer.
./scripts/test.sh --sanitize address
./scripts/test.sh --sanitize thread server protocol app
# The Debian packages: built with debhelper, lintian without errors, the
# daemon's unpacked into a scratch root and run, its unit verified, then
# installed on this (fresh) machine, checked and purged.
./scripts/package.sh
QUELVOR_CHECK_INSTALL=1 ./scripts/check-package.sh
printf 'check.sh: %d min %d s\n' $(((SECONDS - start) / 60)) $(((SECONDS - start) % 60))
