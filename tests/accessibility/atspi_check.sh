#!/bin/bash
# The accessibility check: the program under Xvfb with the desktop's accessibility bus, on a
# Deck of one Item, driven by atspi_check.py as a screen reader would drive it.
#
#     atspi_check.sh PROGRAM
#
# Exit status 0 when every check holds, 1 when one fails, 77 when Xvfb, D-Bus, the AT-SPI
# services or Debian's pyatspi are missing.
set -u
program=${1:?usage: atspi_check.sh PROGRAM}
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3
for tool in Xvfb dbus-run-session /usr/libexec/at-spi-bus-launcher; do
    command -v "$tool" >/dev/null || { echo "$tool missing"; exit 77; }
done
"$python" -c "import pyatspi" 2>/dev/null || { echo "pyatspi missing"; exit 77; }

# A display of our own, and a scratch folder $work.
source "$(dirname "$0")/../support/xvfb.sh"
start_xvfb || exit 1

# A program folder, Deck and desktop folders of the check's own, so that nothing of the
# build folder or of the user's desktop is touched.
mkdir -p "$work/program" "$work/decks" "$work/home"
cp "$program" "$(dirname "$program")/glossad.hlp" "$work/program/"
printf 'chat\xb63\xb6cat, in French\xb6\xb6\xb6\r\n' >"$work/decks/one.gsd"
export HOME="$work/home" XDG_DATA_HOME="$work/home/data" XDG_CONFIG_HOME="$work/home/config"
export XDG_CACHE_HOME="$work/home/cache" XDG_RUNTIME_DIR="$work/home/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1

dbus-run-session -- "$python" "$here/atspi_check.py" "$work/program/glossad" "$work/decks/one.gsd" \
    chat "cat, in French" 2> >(grep -v "dbus-daemon" >&2)
