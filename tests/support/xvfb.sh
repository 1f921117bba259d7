# Sourced by the checks that need a real X server. start_xvfb makes a scratch folder $work,
# removed (with the server stopped) when the script exits, and starts an Xvfb of its own on a
# display number it picks itself (written to fd 3); it exports DISPLAY for it. Returns 1 when
# the server does not come up.
start_xvfb() {
    local i
    work=$(mktemp -d)
    # Qt's runtime folder would otherwise be made, and left, in the temporary folder.
    [ -n "${XDG_RUNTIME_DIR:-}" ] || { export XDG_RUNTIME_DIR="$work/runtime"; mkdir -m 700 "$XDG_RUNTIME_DIR"; }
    xvfb_pid=
    trap '[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null; rm -rf "$work"' EXIT
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for i in $(seq 1 100); do
        display=$(head -n1 "$work/display" 2>/dev/null)
        [ -n "$display" ] && break
        sleep 0.1
    done
    [ -n "$display" ] || { echo "Xvfb did not start"; cat "$work/xvfb.log"; return 1; }
    export DISPLAY=":$display" QT_QPA_PLATFORM=xcb
    unset WAYLAND_DISPLAY
}
