#!/usr/bin/env bash
# Sets everything up, builds the release preset and runs the main job on its built-in default.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
build/release/corvelle render corvelle-demo.png
echo "wrote corvelle-demo.png"
