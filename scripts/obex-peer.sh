#!/bin/bash
# An OBEX FTP server on this machine to test against: Debian's obexftpd with our
# preload library, on a free port of 127.0.0.1, never as root.
#   obex-peer.sh start DIR [PORT]   serves DIR (on PORT when given), prints "PORT PID"
#                                   once the port listens
#   obex-peer.sh stop PID    stops that server and waits until it has ended
# The preload library is $OBEX_PEER_SHIM when set, else built from its source.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

fail() {
    echo "obex-peer: $*" >&2
    exit 1
}

shim_library() {
    if [ -n "${OBEX_PEER_SHIM:-}" ]; then
        [ -f "$OBEX_PEER_SHIM" ] || fail "no preload library at $OBEX_PEER_SHIM"
        echo "$OBEX_PEER_SHIM"
        return
    fi
    local src="$root/tests/obexpeer/PeerShim.c"
    local out="${QUELVAR_BUILD_DIR:-$root/build}/obexpeer/libpeershim.so"
    if [ ! "$out" -nt "$src" ]; then
        mkdir -p "$(dirname "$out")"
        gcc -shared -fPIC -O2 -Wall -Wextra -o "$out" "$src" -ldl >&2 || fail "cannot build the preload library"
    fi
    echo "$out"
}

free_port() {
    python3 -c 'import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])'
}

# True once a socket listens on 127.0.0.1:$1 (the server may use an IPv6 socket
# with a mapped address). Connecting to ask would open a session.
listening() {
    local hex
    hex=$(printf ':%04X' "$1")
    awk -v port="$hex" 'substr($2, length($2) - 4) == port && $4 == "0A" { found = 1 } END { exit !found }' \
        /proc/net/tcp /proc/net/tcp6
}

alive() {
    [ -e "/proc/$1" ] && [ "$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null)" != Z ]
}

start() {
    local dir="$1" wanted="${2:-}"
    [ -d "$dir" ] || fail "no folder $dir"
    dir="$(cd "$dir" && pwd)"
    command -v obexftpd >/dev/null || fail "obexftpd is missing: run scripts/install-deps.sh"
    local shim run user=()
    shim="$(shim_library)"
    run="$(mktemp -d "${TMPDIR:-/tmp}/obex-peer.XXXXXX")"
    cp "$shim" "$run/libpeershim.so"
    chmod 755 "$run"
    if [ "$(id -u)" -eq 0 ]; then
        user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
        chown -R nobody:nogroup "$dir"
        setpriv --reuid=nobody --regid=nogroup --clear-groups test -r "$dir" -a -w "$dir" -a -x "$dir" ||
            fail "the unprivileged user cannot reach $dir (check the folders above it)"
    fi
    local attempt port pid
    for attempt in 1 2 3 4 5; do
        port="${wanted:-$(free_port)}"
        # -c must come before -n: -n starts serving at once.
        "${user[@]}" env LD_PRELOAD="$run/libpeershim.so" obexftpd -c "$dir" -n "127.0.0.1:$port" \
            >"$run/peer.log" 2>&1 </dev/null &
        pid=$!
        local waited=0
        while alive "$pid" && ! listening "$port" && [ $waited -lt 1000 ]; do
            sleep 0.01
            waited=$((waited + 1))
        done
        if alive "$pid" && listening "$port"; then
            # The folder carries the pid so that stop finds it.
            mv "$run" "${TMPDIR:-/tmp}/obex-peer.$pid"
            echo "$port $pid"
            return 0
        fi
        alive "$pid" && kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null || true
        echo "obex-peer: attempt $attempt on port $port failed:" >&2
        tail -n 5 "$run/peer.log" >&2 || true
    done
    rm -rf "$run"
    fail "obexftpd did not start"
}

stop() {
    local pid="$1"
    [[ "$pid" =~ ^[0-9]+$ ]] || fail "not a process id: $pid"
    if alive "$pid"; then
        [ "$(cat "/proc/$pid/comm")" = obexftpd ] || fail "process $pid is not obexftpd"
        kill -TERM "$pid"
        local waited=0
        while alive "$pid"; do
            [ $waited -lt 1000 ] || {
                kill -KILL "$pid"
                waited=0
            }
            sleep 0.01
            waited=$((waited + 1))
        done
    fi
    rm -rf "${TMPDIR:-/tmp}/obex-peer.$pid"
}

case "${1:-}" in
start) [ $# -eq 2 ] || [ $# -eq 3 ] || fail "usage: $0 start DIR [PORT]"; start "$2" "${3:-}" ;;
stop) [ $# -eq 2 ] || fail "usage: $0 stop PID"; stop "$2" ;;
*) fail "usage: $0 start DIR [PORT] | stop PID" ;;
esac
