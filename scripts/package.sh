#!/usr/bin/env bash
# Builds the Debian package build/orvin-viewer_<version>_<arch>.deb: set-up
# and build as for ./run, then CPack's DEB generator over the install rules.
# The dependencies come from the binaries (dpkg-shlibdeps) plus the fonts and
# sound plugins the viewer loads at run time. Install it with
#   sudo apt install ./build/orvin-viewer_*.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/setup.sh"

# What CPack needs to work out the dependencies.
missing=()
for p in dpkg-dev file; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

rm -f build/orvin-viewer_*.deb
(cd build && cpack --config CPackConfig.cmake)
deb=$(ls build/orvin-viewer_*.deb)
dpkg-deb --field "$deb" Package Version Architecture Depends
echo "$deb"
