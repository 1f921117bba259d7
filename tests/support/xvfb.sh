# Sourced by the Xvfb checks: start_xvfb WORK starts an X server of our own (Xvfb picks a
# free display number and writes it to fd 3), keeps its files in the folder WORK, sets
# xvfb_pid, and points DISPLAY and Qt (QT_QPA_PLATFORM=xcb) at it. Returns 1 when it did not
# start.
start_xvfb() {
    local work=$1 i
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    display=
    for i in $(seq 1 100); do
        display=$(head -n1 "$work/display" 2>/dev/null)
        [ -n "$display" ] && break
        sleep 0.1
    done
    [ -n "$display" ] || { echo "Xvfb did not start"; cat "$work/xvfb.log"; return 1; }
    export DISPLAY=":$display" QT_QPA_PLATFORM=xcb
    unset WAYLAND_DISPLAY
}
