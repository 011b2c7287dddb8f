#!/bin/bash
# The demo: builds, registers the server and the simulated phone suite in the
# build tree's Wine prefix, connects a simulated phone and drives the server
# through the command-line client.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# The demo builds without tests into a folder of its own, so that it never
# leaves stale test programs in the test build.
export QUELVAR_BUILD_DIR="${QUELVAR_DEMO_BUILD_DIR:-$root/build-demo}"
"$root/scripts/build.sh" -DQUELVAR_TESTS=OFF

build="$QUELVAR_BUILD_DIR"
export WINEPREFIX="$build/wineprefix"
source "$root/scripts/wine-env.sh"
trap wine_stop EXIT
wine_prepare_prefix

"$root/scripts/on-screen.sh" bash "$root/scripts/demo-steps.sh" "$build/bin"
