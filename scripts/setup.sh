#!/usr/bin/env bash
# Prepares this machine to build, test and run Quelvor: installs the Debian
# packages, starts Firebird on the loopback address, creates the database
# user and the demo databases, then configures and builds the project.
# Safe to run again; a second run only checks and rebuilds what changed.
# Once it has run as root, a normal user can run it too: each step that is
# done already is skipped, and a step that would need root says so.
#
# QUELVOR_DEMO_DIR chooses where the demo databases live (default build/demo).
set -euo pipefail

# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/lib.sh"

DEMO_DIR=$(demo_dir)
SCHEMA_DIR=$QUELVOR_ROOT/schema

ensure_packages
ensure_test_locale
ensure_firebird_running
ensure_db_user "$QUELVOR_DB_USER" "$QUELVOR_DB_PASSWORD"

# Once the databases are there nothing needs the folder's owner again.
if [ ! -e "$DEMO_DIR/COLETA.FDB" ] || [ ! -e "$DEMO_DIR/TARVELL.FDB" ]; then
    ensure_server_folder "$DEMO_DIR"
fi
create_database "$DEMO_DIR/COLETA.FDB" "$SCHEMA_DIR/coleta.sql" "$SCHEMA_DIR/coleta_demo.sql"
create_database "$DEMO_DIR/TARVELL.FDB" "$SCHEMA_DIR/tarvell.sql" "$SCHEMA_DIR/tarvell_demo.sql"

cmake -S "$QUELVOR_ROOT" -B "$QUELVOR_ROOT/build" >/dev/null
cmake --build "$QUELVOR_ROOT/build" -j2
