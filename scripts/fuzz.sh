#!/usr/bin/env bash
# Fuzzes the MP4 reader with libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer. Not part of ./test.
#   scripts/fuzz.sh [SECONDS] [extra libFuzzer flags]
# Installs clang if missing, builds build-fuzz/, seeds the corpus from the
# test suite's generated files (and a sample card when the generator is
# built), then runs until SECONDS have passed (default 1800).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-1800}; shift || true

if ! command -v clang++ >/dev/null || ! dpkg-query -W -f='${Status}' libclang-rt-14-dev 2>/dev/null | grep -q 'ok installed'; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get install -y -q --no-install-recommends clang libclang-rt-14-dev
fi

if [ ! -f build-fuzz/CMakeCache.txt ]; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVIN_FUZZ=ON
fi
cmake --build build-fuzz -j"$(nproc)" --target fuzz_mov_format test_mov_format

corpus=build-fuzz/fuzz-corpus
seeds=build-fuzz/fuzz-seeds
mkdir -p "$corpus" "$seeds"
ORVIN_CORPUS_DIR="$root/$seeds" QT_QPA_PLATFORM=offscreen build-fuzz/bin/test_mov_format >/dev/null 2>&1 || true
if [ -x build/bin/orvin-make-card ]; then
  tmp=$(mktemp -d)
  build/bin/orvin-make-card "$tmp/a" --recordings 2 --seconds 3 --tiny >/dev/null 2>&1 || true
  build/bin/orvin-make-card "$tmp/b" --recordings 2 --seconds 3 --tiny --sensor type2 >/dev/null 2>&1 || true
  find "$tmp" -name '*.mp4' -size -200k -exec cp {} "$seeds/" \;
  rm -rf "$tmp"
fi

exec build-fuzz/bin/fuzz_mov_format "$corpus" "$seeds" \
  -rss_limit_mb=512 -malloc_limit_mb=64 -timeout=2 -max_len=65536 \
  -max_total_time="$seconds" -print_final_stats=1 "$@"
