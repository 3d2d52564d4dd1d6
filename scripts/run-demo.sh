#!/usr/bin/env bash
# Starts the demo application from the build folder given as $1, on a working
# copy of apps/tessaly made under the build folder, so that running never
# changes the repository. Further arguments go to tessaly.
# With --reset (or RESET=1 in the environment, as `make run RESET=1` passes
# it) the working copy and its data are thrown away and made afresh.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
shift || true
reset=${RESET:-0}
if [ "${1:-}" = "--reset" ]; then
  reset=1
  shift
fi
exe="$build/tessaly"
if [ ! -x "$exe" ]; then
  echo "The tessaly executable is not built: run 'make run' (or 'make build') first." >&2
  exit 1
fi

demo="$build/demo/tessaly"
# The application's data folder is "..\data" beside it.
data="$build/demo/data"
if [ "$reset" != "0" ] && [ -d "$build/demo" ]; then
  echo "Resetting the working copy: $build/demo"
  rm -rf "$build/demo"
fi
if [ ! -d "$demo" ]; then
  mkdir -p "$demo"
  echo "Working copy of the demo application: $demo"
fi
mkdir -p "$data"
# Files the repository gained since the copy was made are added; files of
# the copy (data entered, settings changed) are never overwritten.
for entry in "$repo/apps/tessaly/"*; do
  [ "$(basename "$entry")" = "data" ] && continue
  cp -R -n "$entry" "$demo/"
done
cp -R -n "$repo/apps/tessaly/data/." "$data/"
# The demo data is generated on the first run only: the generator itself
# refuses to replace data, and --reset is the way to start again.
if [ ! -s "$demo/clientes.DIR" ] && [ -x "$build/tools/tessaly-demodata" ]; then
  echo "Generating the demo data..."
  "$build/tools/tessaly-demodata" --app "$demo"
fi

if ! ls "$demo" | grep -qi '^TYDICC\.DAT$'; then
  echo "Not there yet: the demo application's dictionary (apps/tessaly/TYDICC.DAT);"
  echo "start-up will stop with \"File Not Found\"."
fi

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ] && [ $# -eq 0 ]; then
  cat <<EOF
No display (DISPLAY and WAYLAND_DISPLAY are not set): the main menu window
cannot open, so this run shows what batch mode does instead. Batch mode runs
a request given with RUN=..., and requests from INPUT=file, without windows;
see README.md "Batch mode" and docs/command-line.md.

EOF
  set -- "RUN=Help about"
fi

# The current folder of the run is the working copy's parent, so that logs and
# backups written there stay in the build folder too.
cd "$build/demo"
printf '$ tessaly --DPATH=%q' "$demo"
[ $# -gt 0 ] && printf ' %q' "$@"
echo
set +e
"$exe" "--DPATH=$demo" "$@"
code=$?
set -e
echo "tessaly ended with exit code $code"
exit 0
