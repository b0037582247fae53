#!/usr/bin/env bash
# Builds the release program and its Debian package, quorvel_VERSION_amd64.deb in the project's
# folder (CPack's DEB generator, the libraries it needs found by dpkg-shlibdeps). Then:
#   apt install ./quorvel_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
rm -f build/quorvel_*.deb
(cd build && cpack -G DEB >/dev/null)
cp build/quorvel_*.deb .
ls quorvel_*.deb
