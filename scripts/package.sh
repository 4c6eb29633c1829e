#!/usr/bin/env bash
# Builds the Debian package: a Release build of the programs alone (no tests, no benchmarks) in
# its own folder, installed under /usr by CPack's DEB generator. The last line printed is the
# path of the .deb, for `sudo apt install "$(scripts/package.sh | tail -n 1)"`.
#   scripts/package.sh [BUILD_DIR] [-DOPTION=VALUE ...]    (default BUILD_DIR: build-pkg/)
# CMAKE_BUILD_PARALLEL_LEVEL sets the compile jobs (default: every core).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${1:-$root/build-pkg}
shift || true
"$root/scripts/setup.sh"

# -O2 as Debian builds its packages (GCC 12 at -O3 also reports false -Wrestrict errors in
# std::string, bug 105329).
cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DCMAKE_INSTALL_PREFIX=/usr -DVANTOREL_TESTS=OFF -DVANTOREL_BENCH=OFF "$@"
cmake --build "$build_dir" --parallel "${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"

rm -f "$build_dir"/vantorel_*.deb
(cd "$build_dir" && cpack -G DEB) | tee "$build_dir/cpack.log"
deb=$(sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' "$build_dir/cpack.log")
[[ -f $deb ]] || { echo "package: cpack made no .deb" >&2; exit 1; }
echo "$deb"
