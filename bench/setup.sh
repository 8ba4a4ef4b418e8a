#!/usr/bin/env bash
# What the benchmarks need beyond the viewer's own set-up: heaptrack, to see
# where bench-soak's memory goes, and perf, to see where bench-recover's
# time goes. Installs only what is missing.
set -euo pipefail

packages=(heaptrack linux-perf)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "bench setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
