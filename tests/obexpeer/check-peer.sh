#!/bin/bash
# Proves the test peer (obexftpd with our preload library) with Debian's native
# obexftp client: it writes, and obex-get.py reads (the native client drops the
# bodies it receives). Results are checked on the served folder's disk.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
peer="$here/../../scripts/obex-peer.sh"
work="$(mktemp -d "${TMPDIR:-/tmp}/obex-check.XXXXXX")"
served="$work/served"
failures=0
pid=""

cleanup() {
    [ -z "$pid" ] || bash "$peer" stop "$pid"
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

mkdir -p "$served/sub" "$work/local"
chmod 755 "$work"
printf 'inner\n' >"$served/sub/a.txt"
printf 'hello\n' >"$served/readme.txt"
head -c 3000000 /dev/urandom >"$work/local/big.bin"
head -c 200000 /dev/urandom >"$served/fetch.bin"

read -r port pid < <(bash "$peer" start "$served") || {
    echo "FAILED: the peer did not start"
    exit 1
}
echo "peer on 127.0.0.1:$port, process $pid"

native() { (cd "$work/local" && obexftp -n "127.0.0.1:$port" "$@" >/dev/null 2>&1); }
fetch() { python3 "$here/obex-get.py" "$port" "$@"; }

# Listing of the root and, through SETPATH, of a subfolder.
listing="$(fetch ls)" || fail "root listing"
grep -q '<file name="readme.txt" size="6"' <<<"$listing" || fail "root listing lacks readme.txt: $listing"
grep -q '<folder name="sub"' <<<"$listing" || fail "root listing lacks sub: $listing"
listing="$(fetch cd:sub ls)" || fail "subfolder listing"
grep -q '<file name="a.txt" size="6"' <<<"$listing" || fail "subfolder listing lacks a.txt: $listing"
grep -q readme <<<"$listing" && fail "subfolder listing shows the root"

# The parent flag leads back, and never above the served folder.
fetch cd:sub up ls | grep -q '<folder name="sub"' || fail "parent flag from sub did not reach the root"
fetch up >/dev/null 2>&1 && fail "parent flag at the root succeeded"
fetch cd:.. >/dev/null 2>&1 && fail "SETPATH to .. succeeded"
fetch get:../served/readme.txt >/dev/null 2>&1 && fail "GET of a name with a path succeeded"

# mkdir with the native client, then a multi-packet PUT into it.
native -C made -p big.bin
[ -d "$served/made" ] || fail "mkdir: no folder made"
cmp -s "$work/local/big.bin" "$served/made/big.bin" || fail "3 MB PUT not byte-exact on the server's disk"

# A GET, byte-exact.
fetch get:fetch.bin >"$work/fetched.bin" || fail "GET"
cmp -s "$served/fetch.bin" "$work/fetched.bin" || fail "GET not byte-exact"

# Sessions in a row, each starting at the root.
for i in $(seq 1 10); do
    printf 'session %s\n' "$i" >"$work/local/s$i.txt"
    native -p "s$i.txt"
    cmp -s "$work/local/s$i.txt" "$served/s$i.txt" || fail "session $i: its PUT did not arrive at the root"
done
fetch get:s10.txt | grep -qx 'session 10' || fail "GET after ten sessions"

if [ $failures -gt 0 ]; then
    echo "$failures check(s) failed; the peer's log:"
    tail -n 30 "${TMPDIR:-/tmp}/obex-peer.$pid/peer.log"
    exit 1
fi
echo "all peer checks passed"
