#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#   scripts/test.sh [BUILD_DIR] [-DOPTION=VALUE ...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
build_dir=${1:-$root/build}
shift || true
"$root/scripts/build.sh" "$build_dir" "$@"
cd "$build_dir"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel "$(nproc)" --timeout 600
