# shellcheck shell=bash
# Shared by the scripts in this folder; source it, don't run it.
# Everything here is safe to run again: each step checks first and only acts
# when something is missing.

QUELVOR_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# What the build and the tests need, as Debian 12 packages.
QUELVOR_PACKAGES=(
    cmake g++ make pkg-config
    libgtest-dev libgmock-dev
    firebird-dev libfbclient2 firebird3.0-server firebird3.0-utils
    libasio-dev qt6-base-dev libsystemd-dev
    libcpp-httplib-dev prometheus-cpp-dev
    locales clang-format
)

# What the tests need on top to check the status page: a real browser
# (headless) and promtool for /metrics. scripts/test.sh installs them.
QUELVOR_TEST_PACKAGES=(chromium prometheus)

# What scripts/package.sh needs on top: Debian's packaging tools and the
# checks that .ci/run makes of their output.
QUELVOR_PACKAGING_PACKAGES=(
    build-essential debhelper dpkg-dev fakeroot lintian systemd procps
)

# What scripts/fuzz.sh needs on top: clang with libFuzzer and the
# sanitizers' runtime.
QUELVOR_FUZZ_PACKAGES=(clang libclang-rt-14-dev)

# The locale of the people who run the server: the tests check that numbers
# read and write the same under it as under C.
QUELVOR_TEST_LOCALE=pt_BR.UTF-8

# The database user that owns the demo and test databases.
QUELVOR_DB_USER=KORVA
QUELVOR_DB_PASSWORD='##738460'

FIREBIRD_HOST=127.0.0.1
FIREBIRD_PORT=3050
FIREBIRD_RUN_DIR=/run/firebird3.0
FIREBIRD_SECURITY_DB=/var/lib/firebird/3.0/system/security3.fdb
SYSDBA_PASSWORD_FILE=/etc/firebird/3.0/SYSDBA.password

# The folder of the demo databases, as an absolute path.
demo_dir() {
    local dir=${QUELVOR_DEMO_DIR:-$QUELVOR_ROOT/build/demo}
    case $dir in
    /*) ;;
    *) dir=$PWD/$dir ;;
    esac
    printf '%s' "$dir"
}

say() { printf '%s\n' "$*" >&2; }
die() {
    say "error: $*"
    exit 1
}

# --- packages -----------------------------------------------------------

package_installed() {
    [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]
}

# ensure_packages [PACKAGE...]: QUELVOR_PACKAGES when none are named.
ensure_packages() {
    local missing=() p wanted=("$@")
    [ ${#wanted[@]} -eq 0 ] && wanted=("${QUELVOR_PACKAGES[@]}")
    for p in "${wanted[@]}"; do
        package_installed "$p" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    [ "$(id -u)" -eq 0 ] || die "missing packages (${missing[*]}); run this as root to install them"
    say "Installing ${missing[*]}"
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
}

# --- locale -------------------------------------------------------------

# Generates the test locale when the system does not have it yet.
ensure_test_locale() {
    local name=${QUELVOR_TEST_LOCALE%%.*}
    locale -a 2>/dev/null | grep -qix "$name\.utf-\?8" && return 0
    if [ "$(id -u)" -ne 0 ]; then
        say "warning: the locale $QUELVOR_TEST_LOCALE is missing (run this as root to generate it); its tests will fail"
        return 0
    fi
    say "Generating the locale $QUELVOR_TEST_LOCALE"
    localedef -i "$name" -c -f UTF-8 -A /usr/share/locale/locale.alias "$QUELVOR_TEST_LOCALE" ||
        die "could not generate the locale $QUELVOR_TEST_LOCALE"
}

# --- Firebird server ----------------------------------------------------

firebird_listening() {
    (exec 3<>"/dev/tcp/$FIREBIRD_HOST/$FIREBIRD_PORT") 2>/dev/null
}

# The SYSDBA password the package wrote; empty when it never set one.
sysdba_password() {
    [ -r "$SYSDBA_PASSWORD_FILE" ] || return 0
    (
        ISC_PASSWORD=
        # shellcheck disable=SC1090
        . "$SYSDBA_PASSWORD_FILE"
        printf '%s' "$ISC_PASSWORD"
    )
}

# The package sets the SYSDBA password only when its postinst could start
# the server. Where it could not, give SYSDBA a password of our own the way
# the package does: straight in the security database, which only works
# while no server holds it open.
ensure_sysdba_password() {
    [ -n "$(sysdba_password)" ] && return 0
    firebird_listening && die "SYSDBA has no password in $SYSDBA_PASSWORD_FILE and the server is running;" \
        "run 'dpkg-reconfigure firebird3.0-server' to set one"
    local password
    password=$(cut -c 1-8 /proc/sys/kernel/random/uuid)
    say "Setting a SYSDBA password (kept in $SYSDBA_PASSWORD_FILE)"
    printf "create or alter user sysdba password '%s';\n" "$password" |
        su firebird -s /bin/sh -c "isql-fb -q -b -user SYSDBA '$FIREBIRD_SECURITY_DB'" ||
        die "could not set the SYSDBA password"
    install -m 0600 /dev/null "$SYSDBA_PASSWORD_FILE.new"
    printf 'ISC_USER=sysdba\nISC_PASSWORD="%s"\n' "$password" >"$SYSDBA_PASSWORD_FILE.new"
    mv -f "$SYSDBA_PASSWORD_FILE.new" "$SYSDBA_PASSWORD_FILE"
}

# Containers here have no systemd and the package may not have started the
# server, so start the guardian by hand, as the firebird user.
ensure_firebird_running() {
    firebird_listening && return 0
    [ "$(id -u)" -eq 0 ] || die "nothing listens on $FIREBIRD_HOST:$FIREBIRD_PORT; run this as root to start Firebird"
    ensure_sysdba_password
    say "Starting the Firebird server"
    mkdir -p "$FIREBIRD_RUN_DIR"
    chown firebird:firebird "$FIREBIRD_RUN_DIR"
    su firebird -s /bin/sh -c '/usr/sbin/fbguard -daemon -forever'
    local i
    for ((i = 0; i < 60; i++)); do
        firebird_listening && return 0
        sleep 0.5
    done
    die "the Firebird server did not answer on $FIREBIRD_HOST:$FIREBIRD_PORT within 30 s"
}

# --- users and databases -------------------------------------------------

# sysdba_sql SQL: runs SQL as SYSDBA on a scratch database made for the call
# and dropped after it, and prints isql's output. The security database
# itself refuses attachments over the network, but user management and the
# CREATE DATABASE privilege can be reached from any attachment.
sysdba_sql() {
    local dir output rc=0
    dir=$(mktemp -d /tmp/quelvor-admin-XXXXXX)
    chown firebird:firebird "$dir"
    chmod 0770 "$dir"
    output=$(
        {
            printf "CREATE DATABASE 'localhost:%s/admin.fdb' USER 'SYSDBA' PASSWORD '%s';\n" \
                "$dir" "$(sysdba_password)"
            printf '%s\n' "$1"
            printf 'DROP DATABASE;\n'
        } | isql-fb -q -b 2>&1
    ) || rc=$?
    rm -rf "$dir"
    printf '%s\n' "$output"
    return $rc
}

# The user can log in and create a database: what the demo and the tests
# need. Tried without SYSDBA, so that a normal user can see it is done.
db_user_ready() {
    local name=$1 password=$2 dir rc=0
    dir=$(mktemp -d /tmp/quelvor-check-XXXXXX)
    chmod 0777 "$dir"
    printf "CREATE DATABASE 'localhost:%s/check.fdb' USER '%s' PASSWORD '%s';\nDROP DATABASE;\n" \
        "$dir" "$name" "$password" | isql-fb -q -b >/dev/null 2>&1 || rc=$?
    rm -rf "$dir"
    return $rc
}

# The user must exist and, since Firebird 3, hold the CREATE DATABASE
# privilege: without it the server refuses to create a database for an
# ordinary user. Only root can read SYSDBA's password to set that up.
ensure_db_user() {
    local name=$1 password=$2 state
    db_user_ready "$name" "$password" && return 0
    [ "$(id -u)" -eq 0 ] || die "the Firebird user $name cannot log in or create databases;" \
        "run this as root once to set it up (it needs SYSDBA's password in $SYSDBA_PASSWORD_FILE)"
    state=$(sysdba_sql "SET HEADING OFF;
SELECT 'user=' || COUNT(*) FROM SEC\$USERS WHERE SEC\$USER_NAME = '$name';
SELECT 'creator=' || COUNT(*) FROM SEC\$DB_CREATORS WHERE SEC\$USER = '$name' AND SEC\$USER_TYPE = 8;") ||
        die "could not read the Firebird users as SYSDBA: $state"
    local statements=
    grep -q 'user=0' <<<"$state" && statements+="CREATE USER $name PASSWORD '$password';"$'\n'
    grep -q 'creator=0' <<<"$state" && statements+="GRANT CREATE DATABASE TO USER $name;"$'\n'
    [ -z "$statements" ] && return 0
    say "Setting up the Firebird user $name"
    state=$(sysdba_sql "$statements") || die "could not set up the Firebird user $name: $state"
}

# A folder that the server (running as firebird) can create files in. A
# normal user cannot give it to firebird, so it is opened to everyone instead.
ensure_server_folder() {
    local dir=$1
    if [ "$(id -u)" -ne 0 ]; then
        mkdir -p "$dir" || die "cannot create $dir"
        chmod 0777 "$dir" || die "cannot open $dir to the Firebird server; run this as root"
        return 0
    fi
    mkdir -p "$dir"
    chown firebird:firebird "$dir"
    chmod 0775 "$dir"
    su firebird -s /bin/sh -c "test -w '$dir' && test -x '$dir'" ||
        die "the firebird user cannot write to $dir (check the permissions of its parent folders)"
}

# create_database FILE SQL...
# Creates FILE on the local server, owned by the demo user, with the WIN1252
# default character set, and runs the SQL files into it in order. Does
# nothing when FILE exists. A failed load drops the half-made database so
# that the next run starts over.
create_database() {
    local file=$1
    shift
    [ -e "$file" ] && return 0
    local conn="localhost:$file" output
    say "Creating $conn"
    if ! output=$(
        {
            printf "SET SQL DIALECT 3;\n"
            printf "CREATE DATABASE '%s' USER '%s' PASSWORD '%s' PAGE_SIZE 8192 DEFAULT CHARACTER SET WIN1252;\n" \
                "$conn" "$QUELVOR_DB_USER" "$QUELVOR_DB_PASSWORD"
            cat "$@"
        } | isql-fb -q -b -ch UTF8 2>&1
    ); then
        say "$output"
        if [ -e "$file" ]; then
            printf 'DROP DATABASE;\n' | isql-fb -q -user "$QUELVOR_DB_USER" -password "$QUELVOR_DB_PASSWORD" \
                "$conn" >/dev/null 2>&1 || rm -f "$file"
        fi
        die "could not create $conn"
    fi
}
