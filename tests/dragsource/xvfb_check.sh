#!/bin/bash
# The Xvfb check of the drop target: real drags through the X server's
# drag-and-drop protocol, from the small Qt drag source (another process, as a file manager
# would be) onto a window whose field T_Audio carries a TDropFileTarget with Dragtypes [dtCopy].
#
#     xvfb_check.sh DIR      (DIR holds the dragsource and droptarget_probe programs)
#
# Exit status 0 when every case holds, 1 when one fails, 77 when Xvfb or xdotool is missing.
set -u
dir=${1:?usage: xvfb_check.sh DIR}
command -v Xvfb >/dev/null && command -v xdotool >/dev/null || { echo "Xvfb or xdotool missing"; exit 77; }

# A display of our own, and a scratch folder $work.
source "$(dirname "$0")/../support/xvfb.sh"
start_xvfb || exit 1

mkdir -p "$work/files dir"
one="$work/files dir/one.wav"; two="$work/two.bmp"; three="$work/three.gif"
touch "$one" "$two" "$three"

# Waits until FILE holds a line TEXT (the programs print "ready" once shown).
await() {
    local i
    for i in $(seq 1 100); do
        grep -qx -- "$2" "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    echo "timed out waiting for '$2' in $1"; cat "$1"; return 1
}

failures=0
# drag NAME TARGET_X TARGET_Y KEY SOURCE-ARGS...: a drag from the source window at (20,20) to
# the given screen point, with KEY held (or "none"); leaves the outputs in $work/NAME.*
# With REST set (seconds), the cursor rests that long at the point before the drop.
REST=0.3
drag() {
    local name=$1 x=$2 y=$3 key=$4
    shift 4
    mkfifo "$work/$name.ctl"
    "$dir/droptarget_probe" --at 300,300 --ms 60000 --stdin <"$work/$name.ctl" >"$work/$name.target" 2>&1 &
    local target_pid=$!
    exec 4>"$work/$name.ctl"
    "$dir/dragsource" --at 20,20 "$@" >"$work/$name.source" 2>&1 &
    local source_pid=$!
    await "$work/$name.target" ready && await "$work/$name.source" ready || { kill $target_pid $source_pid; exec 4>&-; return 1; }
    xdotool mousemove 60 60
    sleep 0.2
    xdotool mousedown 1
    sleep 0.2
    [ "$key" != none ] && xdotool keydown "$key"
    local i sx=60 sy=60
    for i in $(seq 1 20); do
        xdotool mousemove $((sx + (x - sx) * i / 20)) $((sy + (y - sy) * i / 20))
        sleep 0.05
    done
    xdotool mousemove $((x + 1)) $((y + 1))
    sleep "$REST"
    xdotool mouseup 1
    [ "$key" != none ] && xdotool keyup "$key"
    await "$work/$name.source" "result [0-9]" || { kill $target_pid $source_pid; exec 4>&-; return 1; }
    # The target reads the data after the drop: wait for its handler when the drop was taken.
    if grep -qx "result [1-9]" "$work/$name.source"; then
        await "$work/$name.target" "\(T_Audio=\|list drop \).*"
    else
        sleep 0.5
    fi
    echo quit >&4
    exec 4>&-
    wait $target_pid 2>/dev/null
    wait $source_pid 2>/dev/null
    return 0
}

check() { # NAME DESCRIPTION CONDITION...
    local name=$1 what=$2
    shift 2
    if "$@"; then
        echo "ok   $what"
    else
        echo "FAIL $what"
        echo "  --- source:"; sed 's/^/  /' "$work/$name.source"
        echo "  --- target:"; sed 's/^/  /' "$work/$name.target"
        failures=$((failures + 1))
    fi
}
has() { grep -qxF "$2" "$work/$1"; }

# The probe's window is at (300,300): T_Audio at (310..690, 310..340), T_word at (310..690, 370..400).

drag three 420 325 none "$one" "$two" "$three"
check three "three files on T_Audio: the first path, in source order, copy" \
    eval 'has three.target "files $one|$two|$three" && grep -q "^drop shift=0 point=111,16 effect=1$" "$work/three.target" && has three.target "T_Audio=$one" && has three.target "T_word=" && has three.source "result 1"'

drag shift 420 325 shift "$two" "$one"
check shift "a drop with Shift held is still a copy" \
    eval 'has shift.target "files $two|$one" && grep -q "^drop shift=1 .* effect=1$" "$work/shift.target" && has shift.source "result 1"'

drag word 420 385 none "$one"
check word "a drop on T_word is refused" \
    eval 'has word.source "result 0" && ! grep -q "^files" "$work/word.target" && has word.target "T_word=" && has word.target "T_Audio="'

drag moveonly 420 325 none --actions move "$one"
check moveonly "a source offering only move is refused (Dragtypes = [dtCopy])" \
    eval 'has moveonly.source "result 0" && grep -q "^enter .* effect=0$" "$work/moveonly.target" && ! grep -q "^files" "$work/moveonly.target" && has moveonly.target "T_Audio="'

# ListBox1 at (310..690, 420..610): the cursor rests in the bottom margin band for a second.
REST=1.2 drag scroll 500 602 none "$one"
check scroll "resting in a list's bottom band auto-scrolls it, one line per 100 ms tick (copy + scroll flag at the drop)" \
    eval 'grep -q "^list drop .* effect=2147483649 scroll=\([3-9]\|[1-9][0-9]\) files $one$" "$work/scroll.target"'

[ $failures -eq 0 ] && echo "all Xvfb drag checks passed" && exit 0
exit 1
