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

cat <<EOF
Not there yet:
  - the window layer: tessaly cannot open its main menu window, so it runs in
    batch mode only (a request given with RUN=..., requests from INPUT=file);
EOF
if ! ls "$demo" | grep -qi '^TYDICC\.DAT$'; then
  cat <<EOF
  - the demo application's definition files: apps/tessaly has no dictionary
    (TYDICC.DAT) yet, so start-up stops with "File Not Found".
EOF
fi
cat <<EOF
What batch mode can do today: evaluate expressions (RUN="ExpEval A=1"),
show the About box (RUN="Help about"), read the parameter files and the
session status file; see README.md "Batch mode" for a worked example on the
small shop application of the tests, and docs/command-line.md for the options.

EOF

shift || true
# The current folder of the run is the working copy's parent, so that logs and
# backups written there stay in the build folder too.
cd "$build/demo"
if [ $# -eq 0 ]; then
  set -- "RUN=Help about"
fi
printf '$ tessaly --DPATH=%q' "$demo"; printf ' %q' "$@"; echo
set +e
"$exe" "--DPATH=$demo" "$@"
code=$?
set -e
echo "tessaly ended with exit code $code"
exit 0
