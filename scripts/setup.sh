#!/usr/bin/env bash
# Installs the system packages the project needs (only the missing ones), then configures and
# builds with both cores. Sourced by run.sh and test.sh.
set -euo pipefail

GLOSSAD_PACKAGES=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-svg-dev qt6-charts-dev libqt6opengl6-dev
  qt6-qpa-plugins qt6-image-formats-plugins
  libjpeg62-turbo-dev libsndfile1-dev libwmf-dev libemf2svg-dev libgif-dev
  libgtest-dev libgmock-dev libbenchmark-dev libespeak-ng-dev espeak-ng-data
  xvfb xauth imagemagick espeak-ng sox pulseaudio fonts-dejavu-core
  shared-mime-info desktop-file-utils xdg-utils libfile-mimeinfo-perl x11-utils xdotool
  at-spi2-core python3-pyatspi dbus-x11 libmagick++-dev gifsicle
  libzip-dev libsqlite3-dev libzstd-dev kdeedu-kvtml-data
)

glossad_install_packages() {
  local missing=()
  local package
  for package in "${GLOSSAD_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

glossad_build() {
  local root
  root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  if [ ! -f "$root/build/CMakeCache.txt" ]; then
    local launcher=()
    # Rebuilds in several checkouts share compiled objects when ccache is there.
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}"
  fi
  cmake --build "$root/build" -j2
}

# The user's own copy of the demo Deck, made on first use in the user's data folder with its
# pictures and sounds at the same relative paths, so that editing it never touches the
# repository. An existing copy is left as it is. Prints the path of the copied Deck.
glossad_demo_copy() {
  local root data demo
  root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  data="${XDG_DATA_HOME:-}"
  [[ "$data" == /* ]] || data="$HOME/.local/share"
  demo="$data/glossadrome/demo"
  if [ ! -e "$demo/demo.gsd" ]; then
    # Files already there are kept; the Deck comes last, so a copy cut short is completed
    # next time.
    local file
    while IFS= read -r file; do
      [ -e "$demo/$file" ] || install -D -m 644 "$root/examples/$file" "$demo/$file"
    done < <(cd "$root/examples" && find pictures sounds -type f)
    cp "$root/examples/demo.gsd" "$demo/.demo.gsd.part"
    mv "$demo/.demo.gsd.part" "$demo/demo.gsd"
  fi
  echo "$demo/demo.gsd"
}
