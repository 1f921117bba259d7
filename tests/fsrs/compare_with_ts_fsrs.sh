#!/usr/bin/env bash
# Replays random review histories through glossdeck and the npm package ts-fsrs 5.x and compares
# every state. Usage: compare_with_ts_fsrs.sh GLOSSDECK PACKAGE_FOLDER
# Installs ts-fsrs into PACKAGE_FOLDER when it is not there; exits 77 (skipped) only when the
# npm registry cannot be reached at all.
set -euo pipefail
tool="$1"
packages="$2"
here="$(cd "$(dirname "$0")" && pwd)"
if [ ! -f "$packages/node_modules/ts-fsrs/package.json" ]; then
  if ! command -v npm >/dev/null || ! command -v node >/dev/null; then
    echo "SKIPPED: Node and npm are needed to install the reference scheduler ts-fsrs"
    exit 77
  fi
  mkdir -p "$packages"
  if ! npm install --prefix "$packages" --no-save --no-audit --no-fund --loglevel=error "ts-fsrs@5" >"$packages/npm.log" 2>&1; then
    if ! npm ping >/dev/null 2>&1; then
      echo "SKIPPED: the npm registry cannot be reached, so the reference scheduler ts-fsrs cannot be installed"
      exit 77
    fi
    cat "$packages/npm.log" >&2
    echo "npm could not install ts-fsrs although the registry answers" >&2
    exit 1
  fi
fi
exec node "$here/compare_with_ts_fsrs.mjs" "$tool" "$packages"
