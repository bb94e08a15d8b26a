#!/usr/bin/env bash
# Sets the machine up (see setup.sh) and runs every test. Tests that need
# Firebird create and drop their own databases on the same local server.
set -euo pipefail

cd "$(dirname "$0")/.."
./scripts/setup.sh
ctest --test-dir build --output-on-failure
