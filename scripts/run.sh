#!/usr/bin/env bash
# The main job: sets up this machine, builds, installs into the user's own
# folders (cmake --install: the product folder
# ${XDG_DATA_HOME:-$HOME/.local/share}/sondrix-md) and renders a note phrase
# with the installed render command, which loads the installed "Brevado" as an
# engine host does. Arguments are passed to the render command, e.g.
#   bash scripts/run.sh --phrase "C4 E4 G4:0.5" --pcm16
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
bash scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --install build
product=$(build/data/morvane-render --print-data-folder)
echo
echo "Installed in $product"
"$product/morvane-render" -o "$root/build/brevado-render.wav" "$@"
