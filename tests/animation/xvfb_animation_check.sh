#!/bin/bash
# The Xvfb check of animated pictures: the main window with the demo Deck shows "bird" (an
# animated GIF) in the Edit page's preview and then as a Visual question in Image1.
# Screenshots of each picture, taken from outside, must show the picture and change while it
# plays. Closing the window while the picture plays must end the program at once, with
# nothing printed.
#
#     xvfb_animation_check.sh PROBE DECK
#
# Exit status 0 when every case holds, 1 when one fails, 77 when Xvfb or ImageMagick is missing.
set -u
probe=${1:?usage: xvfb_animation_check.sh PROBE DECK}
deck=${2:?usage: xvfb_animation_check.sh PROBE DECK}
for tool in Xvfb import compare identify; do
    command -v "$tool" >/dev/null || { echo "$tool missing"; exit 77; }
done

# A display of our own, and a scratch folder $work.
source "$(dirname "$0")/../support/xvfb.sh"
start_xvfb || exit 1
probe_pid=
trap '[ -n "$probe_pid" ] && kill "$probe_pid" 2>/dev/null; [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null; rm -rf "$work"' EXIT

# The program keeps its settings and scratch file beside itself: it runs from the work folder.
cp "$probe" "$work/probe"
mkfifo "$work/ctl"
"$work/probe" "$deck" <"$work/ctl" >"$work/out" 2>"$work/err" &
probe_pid=$!
exec 4>"$work/ctl"

# Waits for a line starting with WORD on the probe's output and prints it.
await() {
    local i line
    for i in $(seq 1 150); do
        line=$(grep -m1 "^$1 " "$work/out" 2>/dev/null)
        [ -n "$line" ] && { echo "$line"; return 0; }
        sleep 0.1
    done
    echo "timed out waiting for '$1'" >&2
    cat "$work/out" "$work/err" >&2
    return 1
}

failures=0
# plays NAME X Y W H: shots of the rectangle all show a picture, and a later shot differs from
# the first. The bird's frames last 0.18 s and its second and fourth are the same picture, so
# shots a fixed two frames apart may all show that one: the shots are a random 0.1 to 0.3 s
# apart, and up to twenty are taken until one differs.
plays() {
    local name=$1 x=$2 y=$3 w=$4 h=$5
    [ "$w" -gt 0 ] && [ "$h" -gt 0 ] || { echo "FAIL $name: nothing shown ($w x $h)"; failures=$((failures + 1)); return; }
    sleep 0.5   # the animation is under way
    local shot colours differing
    for shot in $(seq 1 20); do
        import -window root -crop "${w}x${h}+${x}+${y}" +repage "$work/$name-$shot.png"
        colours=$(identify -format '%k' "$work/$name-$shot.png")
        if [ "$colours" -lt 8 ]; then
            echo "FAIL $name: shot $shot shows no picture ($colours colours)"
            failures=$((failures + 1))
            return
        fi
        if [ "$shot" -gt 1 ]; then
            differing=$(compare -metric AE "$work/$name-1.png" "$work/$name-$shot.png" null: 2>&1)
            if [ "$differing" != 0 ]; then
                echo "ok   $name: $differing of $((w * h)) pixels changed in shot $shot"
                return
            fi
        fi
        sleep "0.$((100 + RANDOM % 200))"
    done
    echo "FAIL $name: the picture did not change in twenty shots over four seconds"
    failures=$((failures + 1))
}

place=$(await preview) || exit 1
plays $place
echo study >&4
place=$(await image1) || exit 1
plays $place

# Closing while the picture plays: the program ends at once, cleanly and silently.
start=$(date +%s%N)
echo quit >&4
for i in $(seq 1 50); do
    kill -0 "$probe_pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$probe_pid" 2>/dev/null; then
    echo "FAIL close: the program is still running 5 s after its window closed"
    failures=$((failures + 1))
else
    wait "$probe_pid"
    status=$?
    probe_pid=
    elapsed=$((($(date +%s%N) - start) / 1000000))
    if [ "$status" -ne 0 ] || [ -s "$work/err" ]; then
        echo "FAIL close: exit status $status, printed:"
        cat "$work/err"
        failures=$((failures + 1))
    else
        echo "ok   close: ended in $elapsed ms, nothing printed"
    fi
fi
exec 4>&-
[ "$failures" -eq 0 ]
