#!/usr/bin/env bash
# Installs what the build, the viewer and the tests need, skipping what is
# already there, then configures and builds incrementally into build/.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

packages=(
  build-essential cmake pkg-config git
  qtbase5-dev qtbase5-dev-tools libqt5opengl5-dev libqt5svg5-dev
  qtwebengine5-dev qtmultimedia5-dev libqt5multimedia5-plugins
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev
  libswresample-dev libavfilter-dev ffmpeg
  xvfb xauth x11-utils xdotool openbox libgl1-mesa-dri mesa-utils
  fonts-dseg fonts-noto-cjk fonts-dejavu-core libx264-164 qttranslations5-l10n libxml2-utils
  zlib1g-dev
  desktop-file-utils appstream man-db groff-base strace poppler-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# Node.js may come from elsewhere than Debian; only its absence matters.
command -v npm >/dev/null 2>&1 || missing+=(nodejs npm)

if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Front-end packages for the map page, pinned by package-lock.json; installed
# again only when the lock file is newer than the installed tree.
if [ -f package-lock.json ]; then
  if [ ! -d node_modules ] || [ package-lock.json -nt node_modules ]; then
    npm ci --no-audit --no-fund --loglevel=error
    touch node_modules
  fi
fi

build_type=${BUILD_TYPE:-RelWithDebInfo}
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE="$build_type"
fi
cmake --build build -j"$(nproc)"
