#!/bin/bash
# Runs a Windows program under Wine in the prefix named by WINEPREFIX, creating
# the prefix and a lingering wineserver first when needed.
#
# The program's output goes through a file: COM starts local servers with the
# client's standard handles, and a server holding a pipe open would keep the
# caller (ctest, a pipe to tee) waiting until it exits. The file is shown as it
# grows, so a program that hangs shows how far it came.
set -u
: "${WINEPREFIX:?WINEPREFIX must name the prefix}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/wine-env.sh"
wine_prepare_prefix || exit 1

out="$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")"
wine "$@" >"$out" 2>&1 </dev/null &
pid=$!
tail -f -s 0.1 -n +1 --pid=$pid "$out"
wait $pid
rc=$?
rm -f "$out"
exit $rc
