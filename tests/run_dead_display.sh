#!/usr/bin/env bash
# scripts/run with a $DISPLAY that names no server: it must fall back to its private X
# server, take the screenshot and exit 0, as it does with no display at all.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$1"
# A display number no server of this machine uses.
number=700
while [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ]; do
    number=$((number + 1))
done
shots="$build/screenshots/run.png"
rm -f "$shots"
out="$(DISPLAY=":$number" WAYLAND_DISPLAY= VX_BUILD_DIR="$build" "$root/scripts/run" 2>&1)" || {
    echo "$out"
    echo "FAIL: scripts/run exited non-zero with DISPLAY=:$number"
    exit 1
}
echo "$out"
case "$out" in
    *"does not answer"*"Screenshot: $shots"*) ;;
    *) echo "FAIL: no fallback to the private X server"; exit 1 ;;
esac
[ -s "$shots" ] || { echo "FAIL: no screenshot at $shots"; exit 1; }
echo "1 passed, 0 failed"
