#!/usr/bin/env bash
# The main job: sets up this machine, builds, installs into the user's own
# folders (cmake --install: "Brevado", the engine host bundle "Morvane
# Engine.bundle" and the data files into the product folder
# ${XDG_DATA_HOME:-$HOME/.local/share}/sondrix-md, the VST3 bundle into
# ~/.vst3 once it is built, and the two user-level preferences with which the
# VST3 plug-in finds the engine host and the data) and renders a note phrase
# with the installed render command, which loads the installed "Brevado" as an
# engine host does. Arguments are passed to the render command, e.g.
#   bash scripts/run.sh --phrase "C4 E4 G4:0.5" --pcm16
# The render runs in the folder this script is run from, so paths given to it
# are relative to that folder; without -o the WAV is build/brevado-render.wav
# in the repository.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
(
  cd "$root"
  bash scripts/setup.sh
  bash scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --install build
)
product=$("$root/build/data/morvane-render" --print-data-folder)
echo
echo "Installed in $product (engine host: $product/Morvane Engine.bundle)"
"$product/morvane-render" -o "$root/build/brevado-render.wav" "$@"
