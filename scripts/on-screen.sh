#!/bin/bash
# Runs a command on a virtual screen of its own with a small window manager on
# it: Wine then closes windows at once instead of waiting about 2 s for a manager
# that never answers, and dialogs get their title bars.
set -euo pipefail
if [ -z "${QUELVAR_ON_SCREEN:-}" ]; then
    exec env QUELVAR_ON_SCREEN=1 xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
ready="$(mktemp -u)"
openbox --sm-disable --startup "touch $ready" >/dev/null 2>&1 </dev/null &
manager=$!
trap 'kill $manager 2>/dev/null || true; rm -f "$ready"' EXIT
for _ in $(seq 200); do
    [ -f "$ready" ] && break
    kill -0 $manager 2>/dev/null || break
    sleep 0.05
done
"$@"
