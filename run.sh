#!/usr/bin/env bash
# Sets up, builds and starts Glossadrome, with the given Deck or the user's copy of the demo Deck.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
source "$root/scripts/setup.sh"
glossad_install_packages
glossad_build
if [ $# -gt 0 ]; then
  exec "$root/build/glossad" "$@"
elif [ -f "$root/examples/demo.gsd" ]; then
  exec "$root/build/glossad" "$(glossad_demo_copy)"
else
  exec "$root/build/glossad"
fi
