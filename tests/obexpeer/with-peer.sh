#!/bin/bash
# Runs a test program with an OBEX FTP peer of its own: a fresh folder served on a
# free port of 127.0.0.1, named to the program by
#   OBEX_PEER_PORT      the port
#   OBEX_PEER_DIR       the served folder as the program sees it under Wine (Z:\...)
#   OBEX_PEER_UNIX_DIR  the same folder as a Linux path
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
    [ -z "$pid" ] || bash "$peer" stop "$pid"
    rm -rf "$work"
}
trap finish EXIT
trap 'exit 143' TERM INT HUP

read -r port pid < <(bash "$peer" start "$work/served") || {
    echo "with-peer: the OBEX peer did not start" >&2
    exit 1
}
(setsid bash -c 'tail --pid="$1" -f /dev/null; bash "$2" stop "$3" 2>/dev/null; rm -rf "$4"' \
    _ $$ "$peer" "$pid" "$work" </dev/null >/dev/null 2>&1 &)

export OBEX_PEER_PORT="$port"
export OBEX_PEER_UNIX_DIR="$work/served"
export OBEX_PEER_DIR="Z:${OBEX_PEER_UNIX_DIR//\//\\}"
"$@" &
wait $!
