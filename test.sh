#!/usr/bin/env bash
# Sets up, builds and runs every test through CTest.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
source "$root/scripts/setup.sh"
glossad_install_packages
glossad_build
cd "$root/build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 "$@"
