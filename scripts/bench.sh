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
    copy=(400 64 5)
else
    refresh=(5000 10000)
    transfer=(64 2)
    copy=(200 64 2)
fi

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
    exit $status
' bench "$build" 2>&1 | tee "$log"
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
