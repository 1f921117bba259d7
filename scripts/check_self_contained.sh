#!/usr/bin/env bash
# Fails when a tracked file reads outside the repository: a clone elsewhere has nothing beside
# it, so a path to a sibling folder or above the project's root would break its build or tests.
# Licences and source notes may name where their files came from.
set -euo pipefail
cd "$(dirname "$0")/.."

pattern='\.\./shared|(PROJECT_SOURCE_DIR|CMAKE_SOURCE_DIR|GLOSSAD_SOURCE_DIR)\}?"?[[:space:]]*"?/\.\.'
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  hits=$(git grep -n -I -E "$pattern" -- . ':!*LICENSE*' ':!*SOURCES.md' ':!scripts/check_self_contained.sh' || true)
else  # an exported tree without git: every file but the build's
  hits=$(grep -r -n -I -E "$pattern" --exclude-dir=build --exclude-dir=.git --exclude='*LICENSE*' \
           --exclude=SOURCES.md --exclude=check_self_contained.sh . || true)
fi
if [ -n "$hits" ]; then
  echo "These tracked files read outside the repository (copy what they need into it):" >&2
  echo "$hits" >&2
  exit 1
fi
