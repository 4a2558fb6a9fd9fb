#!/usr/bin/env bash
# scripts/run with a $DISPLAY that names no server: it must fall back to its private X
# server, take the screenshot and exit 0, as it does with no display at all.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$1"
# A display that surely does not answer: we hold its number's socket ourselves (the abstract
# one, which every sandbox on the machine shares), and hang up on whoever connects. A number
# that merely looked free could be taken by another server meanwhile, and then it answers.
holder_dir="$(mktemp -d)"
python3 -c '
import socket, sys
for number in range(700, 2000):
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    try:
        s.bind("\0/tmp/.X11-unix/X%d" % number)
    except OSError:
        s.close()
        continue
    s.listen(16)
    print(number, flush=True)
    sys.stdout.close()
    while True:
        s.accept()[0].close()
' >"$holder_dir/number" &
holder=$!
trap 'kill "$holder" 2>/dev/null; rm -rf "$holder_dir"' EXIT
for _ in $(seq 100); do
    [ -s "$holder_dir/number" ] && break
    sleep 0.1
done
number="$(head -n1 "$holder_dir/number")"
[ -n "$number" ] || { echo "FAIL: no display number could be held"; exit 1; }
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
