#!/usr/bin/env bash
# Sets the machine up (see setup.sh) and runs the server on port 7010 with
# the demo databases: the operator window when a display is available and
# it has been built, the headless server otherwise. A configuration file is
# written beside each executable the first time; edit it there afterwards.
# It is written again when it names another port or demo folder than this
# run's.
#
# QUELVOR_DEMO_PORT chooses the port (default 7010), QUELVOR_DEMO_DIR the
# folder of the demo databases (default build/demo). No root needed once
# setup.sh has run as root.
set -euo pipefail

# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/lib.sh"

"$QUELVOR_ROOT/scripts/setup.sh"

DEMO_DIR=$(demo_dir)
PORT=${QUELVOR_DEMO_PORT:-7010}
case $PORT in
'' | *[!0-9]*) die "QUELVOR_DEMO_PORT must be a port number, not '$PORT'" ;;
esac
[ "$PORT" -ge 1 ] && [ "$PORT" -le 65535 ] || die "QUELVOR_DEMO_PORT must be between 1 and 65535, not $PORT"
HEADLESS=$QUELVOR_ROOT/build/app/quelvord
WINDOW=$QUELVOR_ROOT/build/ui/quelvor

# User names and passwords stand scrambled in the file, as the program
# itself writes them: @WQPJ is KORVA and /73928"$ is ##738460.
write_config() {
    local file=$1/ConfigQuelvorLeite.ini
    if [ -e "$file" ]; then
        if grep -qx "Porta=$PORT" "$file" &&
            grep -qxF "Base=localhost:$DEMO_DIR/COLETA.FDB" "$file" &&
            grep -qxF "Base=localhost:$DEMO_DIR/TARVELL.FDB" "$file"; then
            return 0
        fi
        say "Writing $file again for port $PORT and the databases in $DEMO_DIR"
    else
        say "Writing $file"
    fi
    {
        printf '[Socket]\n'
        printf 'Porta=%s\n' "$PORT"
        printf '[Base Tarvell]\n'
        printf 'Base=localhost:%s/TARVELL.FDB\n' "$DEMO_DIR"
        printf 'Usuario=@WQPJ\n'
        printf 'Senha=/73928"$\n'
        printf 'Integra=S\n'
        printf '[Inicialização]\n'
        printf 'Tempo=0\n'
        printf '[Base Coleta]\n'
        printf 'Base=localhost:%s/COLETA.FDB\n' "$DEMO_DIR"
        printf 'Usuario=@WQPJ\n'
        printf 'Senha=/73928"$\n'
    } >"$file"
}

for exe in "$HEADLESS" "$WINDOW"; do
    if [ -x "$exe" ]; then
        write_config "$(dirname "$exe")"
    fi
done

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$WINDOW" ]; then
    exec "$WINDOW"
fi
if [ -x "$HEADLESS" ]; then
    exec "$HEADLESS"
fi
say "The server is not built yet (no $HEADLESS); the demo databases are ready in $DEMO_DIR."
exit 0
