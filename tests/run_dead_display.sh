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
# The runs below stage and reset the build's demo game: whoever works in it gets it back.
saved="$holder_dir/saved"
mkdir "$saved"
for kept in demo-game config; do
    [ ! -e "$build/$kept" ] || mv "$build/$kept" "$saved/"
done
put_back() {
    kill "$holder" 2>/dev/null
    for kept in demo-game config; do
        [ ! -e "$saved/$kept" ] || { rm -rf "${build:?}/$kept"; mv "$saved/$kept" "$build/"; }
    done
    rm -rf "$holder_dir"
}
trap put_back EXIT
for _ in $(seq 100); do
    [ -s "$holder_dir/number" ] && break
    sleep 0.1
done
number="$(head -n1 "$holder_dir/number")"
[ -n "$number" ] || { echo "FAIL: no display number could be held"; exit 1; }
shots="$build/screenshots/run.png"
store="$build/config/KESTWYN/Vexil 4 Brask.conf"
marker="$build/demo-game/VexilMods/left-by-an-earlier-run.txt"

# A language it does not speak is refused before anything is built or started.
if out="$("$root/scripts/run" --lang GER 2>&1)"; then
    echo "FAIL: scripts/run --lang GER exited 0"; exit 1
fi
[ "$out" = "run: unknown language 'GER' (ENG, FRE or SPA)" ] || { echo "$out"; echo "FAIL: the refusal of GER"; exit 1; }

# run OPTIONS...: one run on the dead display, which must fall back and take its screenshot.
run() {
    rm -f "$shots"
    out="$(DISPLAY=":$number" WAYLAND_DISPLAY= VX_BUILD_DIR="$build" "$root/scripts/run" "$@" 2>&1)" || {
        echo "$out"
        echo "FAIL: scripts/run $* exited non-zero with DISPLAY=:$number"
        exit 1
    }
    echo "$out"
    case "$out" in
        *"does not answer"*"Screenshot: $shots"*) ;;
        *) echo "FAIL: no fallback to the private X server"; exit 1 ;;
    esac
    [ -s "$shots" ] || { echo "FAIL: no screenshot at $shots"; exit 1; }
}

# What an earlier run left in the staged game stays; the language is the one asked for.
"$root/scripts/stage-demo" "$build" >/dev/null
echo "kept" >"$marker"
run --lang FRE
[ -f "$marker" ] || { echo "FAIL: a run without --reset dropped what the staged game held"; exit 1; }
grep -qx "Language=FRE" "$store" || { cat "$store"; echo "FAIL: --lang FRE is not in the store"; exit 1; }
# --reset stages a fresh copy, and the language is English again.
run --reset
[ ! -e "$marker" ] || { echo "FAIL: --reset kept what an earlier run left"; exit 1; }
grep -qx "Language=ENG" "$store" || { cat "$store"; echo "FAIL: ENG is not the default"; exit 1; }
echo "1 passed, 0 failed"
