#!/bin/bash
# Demo steps, run under Xvfb with the prefix prepared. $1: the folder of the built programs.
set -euo pipefail
bin="$1"
echo "== Built programs"
ls "$bin"
