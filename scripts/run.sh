#!/usr/bin/env bash
# Sets up the machine, builds LumoEditor and launches it in the workspace
# workspace/ (data/ linked from the repository, log/ created). Without a
# display it runs under a virtual X server (Xvfb) and exits after
# LUMO_QUIT_AFTER_MS milliseconds (default 10000), leaving its log behind.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
mkdir -p workspace/log
ln -sfn ../data workspace/data
mkdir -p workspace/bins
ln -sfn ../../build/bins/Tintworks workspace/bins/Tintworks
cd workspace
if [ -n "${DISPLAY:-}" ]; then
  exec ../build/LumoEditor "$@"
fi
echo "run: no display; running the editor under Xvfb (log in workspace/log/)"
export LIBGL_ALWAYS_SOFTWARE=1 LUMO_QUIT_AFTER_MS="${LUMO_QUIT_AFTER_MS:-10000}"
exec xvfb-run -a -s "-screen 0 1600x1200x24" ../build/LumoEditor "$@"
