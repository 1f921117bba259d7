#!/usr/bin/env bash
# Sets up, builds and starts Glossadrome, with the given Deck or the demo Deck.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
source "$root/scripts/setup.sh"
glossad_install_packages
glossad_build
if [ $# -gt 0 ]; then
  exec "$root/build/glossad" "$@"
elif [ -f "$root/examples/demo.gsd" ]; then
  exec "$root/build/glossad" "$root/examples/demo.gsd"
else
  exec "$root/build/glossad"
fi
