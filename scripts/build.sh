#!/usr/bin/env bash
# Configures and builds into a build folder (default build/); extra arguments go to CMake.
#   scripts/build.sh [BUILD_DIR] [-DOPTION=VALUE ...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${1:-$root/build}
shift || true
cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build "$build_dir" --parallel "$(nproc)"
