#!/usr/bin/env bash
# The main job: builds the library and runs the example program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --native
cmake -S . -B build/example -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELC_BUILD_TESTS=OFF >/dev/null
cmake --build build/example --target make_images >/dev/null
build/example/bin/make_images
