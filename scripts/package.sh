#!/usr/bin/env bash
# Builds the Debian package catalix_*.deb with CPack and tests it: what it holds is built (not
# the tests), the build is configured for the prefix /usr, and
# tests/tools/package_test.sh lists it, extracts it and serves a walk from the extracted files.
#   scripts/package.sh [BUILD_DIR]     (default build/normal; the .deb is left there)
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ "${1:-}" == -h || "${1:-}" == --help ]]; then sed -n '2,5p' "$0" | sed 's/^# \{0,1\}//'; exit 0; fi
build=${1:-build/normal}

scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build" -j "$(nproc)" --target cx_package_content
rm -f "$build"/catalix_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
# The staging tree holds copies of the agents, which run.sh would find in the build directory.
rm -rf "$build/_CPack_Packages"
deb=$(ls "$build"/catalix_*.deb)
echo "package: $deb"
tests/tools/package_test.sh "$deb" "$PWD" "$(cd "$build" && pwd)"
