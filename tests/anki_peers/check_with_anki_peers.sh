#!/usr/bin/env bash
# Checks glossdeck's Anki packages against the npm packages anki-apkg-export (writes packages)
# and anki-reader (reads them). Usage: check_with_anki_peers.sh GLOSSDECK PACKAGE_FOLDER TESTDATA
# Installs both into PACKAGE_FOLDER when they are not there; exits 77 (skipped) only when the npm
# registry cannot be reached at all.
set -euo pipefail
tool="$1"
packages="$2"
data="$3"
here="$(cd "$(dirname "$0")" && pwd)"
if [ ! -f "$packages/node_modules/anki-apkg-export/package.json" ] || [ ! -f "$packages/node_modules/anki-reader/package.json" ]; then
  if ! command -v npm >/dev/null || ! command -v node >/dev/null; then
    echo "SKIPPED: Node and npm are needed to install anki-apkg-export and anki-reader"
    exit 77
  fi
  mkdir -p "$packages"
  if ! npm install --prefix "$packages" --no-save --no-audit --no-fund --loglevel=error anki-apkg-export@4 anki-reader@0.3 >"$packages/npm.log" 2>&1; then
    if ! npm ping >/dev/null 2>&1; then
      echo "SKIPPED: the npm registry cannot be reached, so anki-apkg-export and anki-reader cannot be installed"
      exit 77
    fi
    cat "$packages/npm.log" >&2
    echo "npm could not install anki-apkg-export and anki-reader although the registry answers" >&2
    exit 1
  fi
fi
exec node "$here/check_with_anki_peers.mjs" "$tool" "$packages" "$data"
