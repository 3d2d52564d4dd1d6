#!/usr/bin/env bash
# Starts the demo application from the build folder given as $1.
set -euo pipefail
build=${1:-build}
exe="$build/tessaly"
if [ ! -x "$exe" ]; then
  echo "The tessaly executable is not built yet: the runtime's start-up and window layers"
  echo "are still being written. 'make test' runs what exists today."
  exit 0
fi
exec "$exe" "${@:2}"
