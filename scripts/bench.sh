#!/bin/bash
# Builds what the benchmarks need and runs every one of them under Wine and
# Xvfb, each against its baseline measured in the same run; a table of every
# ratio follows at the end.
#
#   bash scripts/bench.sh            default sizes (15 to 30 minutes under emulation)
#   bash scripts/bench.sh --large    the 20,000-file folder, larger files, more rounds
#                                    (about an hour under emulation)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
large=0
for arg in "$@"; do
    case "$arg" in
        --large) large=1 ;;
        *) echo "usage: bash scripts/bench.sh [--large]" >&2; exit 2 ;;
    esac
done
"$root/scripts/build.sh" -DQUELVAR_TESTS=ON

build="${QUELVAR_BUILD_DIR:-$root/build}"
export WINEPREFIX="$build/wineprefix"
source "$root/scripts/wine-env.sh"
log="$(mktemp "${TMPDIR:-/tmp}/bench.XXXXXX")"
trap 'wine_stop; rm -f "$log"' EXIT
wine_prepare_prefix

if [ "$large" = 1 ]; then
    refresh=(5000 20000)
    transfer=(256 3)
    obex_rounds=3
    copy=(400 64 5)
else
    refresh=(5000 10000)
    transfer=(64 2)
    obex_rounds=2
    copy=(200 64 2)
fi

# The OBEX benchmark's server: obexftpd on a free port of 127.0.0.1 serving a
# 16 MiB file, and the native client's best times for it, measured first.
obex_dir="$(mktemp -d "${TMPDIR:-/tmp}/bench-obex.XXXXXX")"
chmod 755 "$obex_dir"
mkdir "$obex_dir/served" "$obex_dir/native"
head -c $((16 * 1024 * 1024)) /dev/urandom >"$obex_dir/served/big.bin"
read -r obex_port obex_pid < <(QUELVAR_BUILD_DIR="$build" "$root/scripts/obex-peer.sh" start "$obex_dir/served")
trap 'wine_stop; "$root/scripts/obex-peer.sh" stop "$obex_pid"; rm -rf "$log" "$obex_dir"' EXIT
ms_now() { echo $(($(date +%s%N) / 1000000)); }
native_get=0 native_put=0
for round in 1 2 3; do
    start=$(ms_now)
    # The Debian client receives the body but does not write it (its exit code
    # says so): the time is the transfer's all the same.
    (cd "$obex_dir/native" && obexftp -n "127.0.0.1:$obex_port" -g big.bin >/dev/null 2>&1) || true
    took=$(($(ms_now) - start))
    [ "$native_get" = 0 ] || [ "$took" -lt "$native_get" ] && native_get=$took
    # A new name each round: the server keeps an old file over a PUT.
    ln "$obex_dir/served/big.bin" "$obex_dir/native/native-$round.bin"
    start=$(ms_now)
    obexftp -n "127.0.0.1:$obex_port" -p "$obex_dir/native/native-$round.bin" >/dev/null 2>&1 || true
    took=$(($(ms_now) - start))
    cmp -s "$obex_dir/served/big.bin" "$obex_dir/served/native-$round.bin" ||
        { echo "the native client's upload did not arrive"; exit 1; }
    [ "$native_put" = 0 ] || [ "$took" -lt "$native_put" ] && native_put=$took
done
rm -f "$obex_dir"/served/native-*.bin
echo "native client against obexftpd on port $obex_port: get $native_get ms, put $native_put ms (best of 3)"

# Each program in turn on one virtual screen. The server and the suite are
# registered first and the server's language and graphics resources named,
# in the build's own prefix.
set +e
"$root/scripts/on-screen.sh" bash -c '
    set -u
    build="$1"; shift
    run() { "$build/wine-run.sh" "$@"; }
    run "$build/bin/SimPhoneSuite.exe" /RegServer || exit 1
    run "$build/bin/ZentrelQuelvar.exe" /RegServer || exit 1
    run reg add "HKLM\\Software\\Zentrel\\Marlith" /v "Current Language" /d enu /f >/dev/null || exit 1
    run reg add "HKLM\\Software\\Zentrel\\Marlith" /v "Current Resource" /d std /f >/dev/null || exit 1
    status=0
    bench() {
        echo "== $*"
        local started=$SECONDS
        # A program that hangs must not hold up the others: 40 minutes each at most.
        timeout 2400 "$build/wine-run.sh" "$build/bench/$@" || { echo "!! $1 failed"; status=1; }
        echo "   ($((SECONDS - started)) s)"
    }
    bench bench_listing.exe
    bench bench_calls.exe
    bench bench_refresh.exe '"${refresh[*]}"'
    bench bench_transfer.exe '"${transfer[*]}"'
    bench bench_copy.exe '"${copy[*]}"'
    # The OBEX suite in place of the simulated one, once that has ended.
    obex_port="$1" served="Z:${2//\//\\}" native_get="$3" native_put="$4"
    # A suite started by COM runs as "Z:\...\bin\NAME -Embedding", a text that no
    # script here holds, nor the suite of another build.
    suite_running() {
        local cmdline wanted="Z:${build//\//\\}\\bin\\$1 -Embedding"
        for cmdline in /proc/[0-9]*/cmdline; do
            tr "\0" " " 2>/dev/null <"$cmdline" | grep -qF "$wanted" && return 0
        done 2>/dev/null
        return 1
    }
    while suite_running SimPhoneSuite.exe; do sleep 0.2; done
    run "$build/bin/ObexPhones.exe" /RegServer || exit 1
    run "$build/bin/ObexPhones.exe" remove BenchObex >/dev/null 2>&1
    run "$build/bin/ObexPhones.exe" add BenchObex "tcp:127.0.0.1:$obex_port" >/dev/null || exit 1
    bench bench_obex.exe BenchObex "$served" big.bin "$native_get" "$native_put" '"${obex_rounds}"'
    run "$build/bin/ObexPhones.exe" remove BenchObex >/dev/null
    while suite_running ObexPhones.exe; do sleep 0.2; done
    run "$build/bin/SimPhoneSuite.exe" /RegServer || status=1
    exit $status
' bench "$build" "$obex_port" "$obex_dir/served" "$native_get" "$native_put" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
set -e

echo
echo "Every ratio (each against its baseline measured in the same run):"
{
    echo "benchmark|measured ms|baseline|baseline ms|ratio|goal"
    grep -a '^RESULT|' "$log" | tr -d '\r' | cut -d'|' -f2-
} | awk -F'|' '
    { for (i = 1; i <= NF; i++) { cell[NR, i] = $i; if (length($i) > width[i]) width[i] = length($i) } rows = NR }
    END { for (r = 1; r <= rows; r++) {
            line = ""
            for (i = 1; i <= 6; i++) line = line (i < 6 ? sprintf("%-" width[i] "s  ", cell[r, i]) : cell[r, i])
            print line } }'
exit "$status"
