#!/usr/bin/env bash
# The main job: sets up, builds the deliverables and says where they are.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
bash scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo
echo "Built in $root/build:"
find build -maxdepth 3 \( -name '*.so' -o -name '*.vst3' -o -name '*.bundle' -o -name '*.a' \) -not -path '*/CMakeFiles/*' -not -path 'build/tests/*' | sort | sed 's/^/  /'
echo "Data files (model profiles, rhythm samples):"
find build/data -type f | sort | sed 's/^/  /'
