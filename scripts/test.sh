#!/bin/bash
# Installs what is missing, builds, and runs every test under Wine and Xvfb.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/build.sh" -DQUELVAR_TESTS=ON

build="${QUELVAR_BUILD_DIR:-$root/build}"
export WINEPREFIX="$build/wineprefix"
source "$root/scripts/wine-env.sh"
trap wine_stop EXIT
wine_prepare_prefix

cd "$build"
"$root/scripts/on-screen.sh" ctest --output-on-failure --timeout 600 "$@"
