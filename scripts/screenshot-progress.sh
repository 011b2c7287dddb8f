#!/bin/bash
# Runs the demo under Xvfb and takes a picture of the progress dialog during its
# slowed download, over the platform's file manager showing the mirror folder it
# copies from, into docs/progress-dialog.png. Installs ImageMagick (import) and
# the X utilities (xwininfo) when they are missing.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

need=()
command -v import >/dev/null || need+=(imagemagick)
command -v xwininfo >/dev/null || need+=(x11-utils)
if [ ${#need[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    echo "Installing: ${need[*]}"
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -q
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${need[@]}"
fi

mkdir -p "$root/docs"
picture="$root/docs/progress-dialog.png"
rm -f "$picture"
QUELVAR_SCREENSHOT="$picture" bash "$root/scripts/demo.sh"
if [ ! -s "$picture" ]; then
    echo "no screenshot was taken" >&2
    exit 1
fi
echo "saved $picture"
