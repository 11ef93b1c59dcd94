#!/usr/bin/env bash
# Builds the editor and saves pictures of its windows into docs/screenshots/
# (start panel, new-project dialog, main window of a 2D and of a 3D project,
# About box, filter tool), then rebuilds the help page that shows them.
# Runs in a scratch workspace under a virtual X server; the user's settings
# and projects are not touched. LUMO_BUILD_DIR picks the build folder
# (default build/).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
build="${LUMO_BUILD_DIR:-build}"
case "$build" in /*) ;; *) build="$repo/$build" ;; esac

scripts/setup.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target LumoEditor Tintworks lumo_screenshots lumo_translations

ws=$(mktemp -d)
trap 'rm -rf "$ws"' EXIT
mkdir -p "$ws/bins" "$ws/log" "$ws/config" "$ws/Projects"
ln -s "$repo/data" "$ws/data"
ln -s "$build/bins/Tintworks" "$ws/bins/Tintworks"
# A few projects for the start panel's list.
for p in "spring_stickers 1" "party_mask 1" "robot_head 2"; do
  set -- $p
  mkdir -p "$ws/Projects/$1"
  printf '{"projectname":"%s","projecttype":%s,"2D":[]}' "$1" "$2" > "$ws/Projects/$1/$1.lumoproj"
done
(cd "$ws" && bins/Tintworks -c film_look.lumoproj --contrast 0.2 --saturation -0.3 --batch >/dev/null)

mkdir -p docs/screenshots
(cd "$ws" && XDG_CONFIG_HOME="$ws/config" LIBGL_ALWAYS_SOFTWARE=1 QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1600x1200x24" "$build/tools/screenshots/lumo_screenshots" "$repo/docs/screenshots")
# The 3D views: a 3D project with the textured spot, the gizmo under the
# mouse, and edit mode with selected vertices (skipped without the fixtures).
if [ -d "$repo/../shared/fixtures/meshes/spot" ]; then
  cmake --build "$build" --target lumo_viewshots >/dev/null
  (cd "$ws" && XDG_CONFIG_HOME="$ws/config" LIBGL_ALWAYS_SOFTWARE=1 QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1600x1200x24" "$build/tools/viewshots/lumo_viewshots" "$repo/docs/screenshots" \
    "$repo/../shared/fixtures")
fi
# The live preview: a 2D project's star on the nose of a fixture photograph
# used as the camera, portrait and landscape, then a 3D project's spot mesh
# on the same face (skipped without the fixtures).
if [ -f "$repo/../shared/fixtures/faces/2008_001009.jpg" ]; then
  cmake --build "$build" --target lumo_previewshots >/dev/null
  spot=()
  [ -d "$repo/../shared/fixtures/meshes/spot" ] && spot=("$repo/../shared/fixtures/meshes/spot")
  (cd "$ws" && XDG_CONFIG_HOME="$ws/config" LIBGL_ALWAYS_SOFTWARE=1 QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1600x1200x24" "$build/tools/previewshots/lumo_previewshots" "$repo/docs/screenshots" \
    "$repo/../shared/fixtures/faces/2008_001009.jpg" "${spot[@]}" >/dev/null)
fi
cmake --build "$build" --target lumo_help >/dev/null
echo "screenshots: $(ls docs/screenshots/*.png | wc -l) pictures in docs/screenshots/"
