#!/bin/bash
# Runs a test program with an OBEX FTP peer of its own: a fresh folder served on a
# free port of 127.0.0.1, named to the program by
#   OBEX_PEER_PORT      the port
#   OBEX_PEER_DIR       the served folder as the program sees it under Wine (Z:\...)
#   OBEX_PEER_UNIX_DIR  the same folder as a Linux path
#   OBEX_PEER_CONTROL   a folder (Wine path) through which the program asks this
#                       script for what only the Linux side can do: a request
#                       file NAME.req holding one line; the answer appears as
#                       NAME.done, its first line "ok" or "failed":
#                         stop                 stops the peer (by its pid)
#                         start                starts it again on the same port
#                         manifest             then one line per served item:
#                                              TYPE<tab>PATH<tab>SIZE<tab>MTIME
#                                              (f or d, UTF-8, seconds since 1970)
#                         file<tab>PATH<tab>N  makes a file of N bytes (names
#                                              a PC cannot hold, too)
# The peer is stopped by its pid when the program ends, fails or this script is
# killed (a detached watchdog covers even SIGKILL).
#   with-peer.sh COMMAND [ARGS...]
set -uo pipefail
peer="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)/obex-peer.sh"
work="$(mktemp -d "${TMPDIR:-/tmp}/obex-test.XXXXXX")"
chmod 755 "$work"
mkdir "$work/served"
pid=""

finish() {
    [ -z "${control_pid:-}" ] || kill "$control_pid" 2>/dev/null
    [ ! -f "$work/peer.pid" ] || bash "$peer" stop "$(cat "$work/peer.pid")"
    rm -rf "$work"
}
trap finish EXIT
trap 'exit 143' TERM INT HUP

read -r port pid < <(bash "$peer" start "$work/served") || {
    echo "with-peer: the OBEX peer did not start" >&2
    exit 1
}
# The peer's pid lives in a file: the control loop restarts it under a new one.
echo "$pid" >"$work/peer.pid"
(setsid bash -c 'tail --pid="$1" -f /dev/null; bash "$2" stop "$(cat "$3/peer.pid")" 2>/dev/null; rm -rf "$3"' \
    _ $$ "$peer" "$work" </dev/null >/dev/null 2>&1 &)

answer() {
    local line="$1"
    case "$line" in
    stop)
        bash "$peer" stop "$(cat "$work/peer.pid")" && echo ok || echo failed
        ;;
    start)
        local started
        if started="$(bash "$peer" start "$work/served" "$port")"; then
            echo "${started#* }" >"$work/peer.pid"
            echo ok
        else
            echo failed
        fi
        ;;
    manifest)
        echo ok
        (cd "$work/served" && find . -mindepth 1 -printf '%y\t%P\t%s\t%T@\n' | LC_ALL=C sort)
        ;;
    file$'\t'*)
        local path size
        IFS=$'\t' read -r _ path size <<<"$line"
        case "$path" in /* | *..*) echo failed; return ;; esac
        if head -c "$size" /dev/urandom >"$work/served/$path"; then echo ok; else echo failed; fi
        ;;
    *) echo failed ;;
    esac
}

control() {
    local request name
    while [ -d "$work/control" ]; do
        for request in "$work"/control/*.req; do
            [ -e "$request" ] || continue
            name="${request%.req}"
            answer "$(head -n 1 "$request")" >"$name.part" 2>/dev/null
            rm -f "$request"
            mv "$name.part" "$name.done"
        done
        sleep 0.05
    done
}
mkdir "$work/control"
control </dev/null >/dev/null 2>&1 &
control_pid=$!

export OBEX_PEER_PORT="$port"
export OBEX_PEER_UNIX_DIR="$work/served"
export OBEX_PEER_DIR="Z:${OBEX_PEER_UNIX_DIR//\//\\}"
export OBEX_PEER_CONTROL="Z:${work//\//\\}\\control"
"$@" &
wait $!
