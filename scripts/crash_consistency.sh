#!/usr/bin/env bash
# The crash-consistency harness with 5,000 kills (CI runs 200): a child process changing a
# 2,000-Item Deck is killed with SIGKILL at random moments, and after every kill the Deck must
# hold exactly the content before or after one command; then a child appending reviews to a
# Deck's review log (and rewriting its settings) is killed a quarter as often, and every review
# it reported written must read back. Usage: scripts/crash_consistency.sh [kills]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/setup.sh"
[ -f "$root/build/CMakeCache.txt" ] || glossad_build
cmake --build "$root/build" --target tst_crash_consistency -j2
GLOSSAD_CRASH_KILLS="${1:-5000}" QT_QPA_PLATFORM=offscreen "$root/build/tst_crash_consistency"
