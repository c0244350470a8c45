# Shell functions for the project's Wine prefixes (source this file; bash).
#
# Every prefix is made the same way: the server is started detached first, then one detached
# command boots the prefix (a wineboot on a missing prefix boots twice and later stalls COM users),
# the X11 driver is told to manage windows itself (without a window manager Wine otherwise stalls
# 2 s on every closed window and draws no frames) and Wine's own fonts are copied in (else dialogs
# come out the wrong size). Wine's services inherit the standard streams of whoever starts them
# first, so they are always started with all streams on /dev/null: a caller reading a pipe would
# otherwise never see it end.

QUORVEL_WINE_BIN=${QUORVEL_WINE_BIN:-/usr/lib/wine}

# quorvel_wine_env PREFIX: export the environment every Wine call of the project uses.
quorvel_wine_env() {
    export WINEPREFIX=$1
    export WINEARCH=win64
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    case ":$PATH:" in
    *":$QUORVEL_WINE_BIN:"*) ;;
    *) export PATH="$QUORVEL_WINE_BIN:$PATH" ;;
    esac
}

# The folder the prefix's wineserver runs in (Wine names it after the prefix's device and inode).
quorvel_wine_server_dir() {
    local dev ino
    dev=$(stat -c %D "$1" 2>/dev/null) || return 1
    ino=$(stat -c %i "$1")
    # The parent folder differs between builds of Wine (/tmp/.wine-UID, /tmp/wine-XXXXXX): match the
    # part that identifies the prefix.
    printf 'server-%s-%x\n' "$dev" "$ino"
}

# quorvel_wine_server_pid PREFIX: the pid of the wineserver of this prefix, if one runs.
quorvel_wine_server_pid() {
    local dir pid
    dir=$(quorvel_wine_server_dir "$1") || return 1
    for pid in $(pgrep -u "$(id -u)" -x 'wineserver(64)?' 2>/dev/null); do
        if [[ $(readlink "/proc/$pid/cwd" 2>/dev/null) == */"$dir" ]]; then
            echo "$pid"
            return 0
        fi
    done
    return 1
}

# quorvel_wine_up PREFIX: create the prefix if needed and make sure its server and services run,
# detached. Serialised with a lock beside the prefix, since CTest runs programs in parallel.
quorvel_wine_up() {
    local prefix=$1
    mkdir -p "$(dirname "$prefix")"
    (
        flock 8
        quorvel_wine_env "$prefix"
        if [[ -f $prefix/.quorvel-ready ]] && quorvel_wine_server_pid "$prefix" >/dev/null; then
            exit 0
        fi
        mkdir -p "$prefix"
        # -p: stays up between programs (a start costs ~1 s without it, ~0.05 s with it).
        # (The daemons must not inherit the lock's descriptor, or they hold the lock forever.)
        setsid wineserver -p </dev/null >/dev/null 2>&1 8>&- || true
        # Boots a new prefix, or starts the services of an existing one, with no stream of ours.
        setsid wine64 cmd /c ver </dev/null >/dev/null 2>&1 8>&- || true
        if [[ ! -f $prefix/.quorvel-ready ]]; then
            [[ -d $prefix/drive_c/windows ]] || {
                echo "wine: could not create the prefix $prefix" >&2
                exit 1
            }
            if [[ -d /usr/share/wine/fonts ]]; then
                cp /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/"
            fi
            wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 8>&-
            touch "$prefix/.quorvel-ready"
        fi
    ) 8>"$prefix.lock"
}

# quorvel_wine_down PREFIX: stop this prefix's server and every Wine process of it (no other prefix).
quorvel_wine_down() {
    [[ -d $1 ]] || return 0
    (
        quorvel_wine_env "$1"
        if quorvel_wine_server_pid "$1" >/dev/null; then
            wineserver -k </dev/null >/dev/null 2>&1 || true
            wineserver -w </dev/null >/dev/null 2>&1 || true
        fi
    )
}

# quorvel_wine_appdata PREFIX: the Linux path of %APPDATA% in the prefix.
quorvel_wine_appdata() {
    echo "$1/drive_c/users/$(id -un)/AppData/Roaming"
}
