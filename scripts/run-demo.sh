#!/usr/bin/env bash
# Starts the demo application from the build folder given as $1, on a working
# copy of apps/tessaly made under the build folder on the first run, so that
# running never changes the repository. Further arguments go to tessaly.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
exe="$build/tessaly"
if [ ! -x "$exe" ]; then
  echo "The tessaly executable is not built: run 'make run' (or 'make build') first." >&2
  exit 1
fi

demo="$build/demo/tessaly"
if [ ! -d "$demo" ]; then
  mkdir -p "$demo"
  echo "Working copy of the demo application: $demo"
fi
# Files the repository gained since the copy was made are added; files of
# the copy (data entered, settings changed) are never overwritten.
cp -R -n "$repo/apps/tessaly/." "$demo/"

display=""
for var in DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM; do
  if [ -n "${!var:-}" ]; then display=$var; fi
done

if [ -z "$display" ]; then
  cat <<EOF
No display (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are unset): tessaly
runs in batch mode only. Start the main window under a virtual display with
  xvfb-run -a make run
or run a request in batch mode (RUN="Help about", RUN="ExpEval A=1"); see
README.md "Batch mode". TESSALY_SCREENSHOT=<file.png> saves the main window
as a picture once it is shown and then ends the run.

EOF
fi
shift || true
# The current folder of the run is the working copy's parent, so that logs and
# backups written there stay in the build folder too.
cd "$build/demo"
if [ $# -eq 0 ] && [ -z "$display" ]; then
  set -- "RUN=Help about"
fi
printf '$ tessaly --DPATH=%q' "$demo"; printf ' %q' "$@"; echo
set +e
"$exe" "--DPATH=$demo" "$@"
code=$?
set -e
echo "tessaly ended with exit code $code"
exit 0
