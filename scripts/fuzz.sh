#!/usr/bin/env bash
# Fuzzes the MP4 reader (or, with FUZZ_TARGET=recover, the recovery of
# cut-off recordings) with libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer. Not part of ./test (which replays the reader's
# kept corpus tests/data/fuzz-corpus through test_mov_format instead).
#   [FUZZ_TARGET=recover] scripts/fuzz.sh [SECONDS] [extra libFuzzer flags]
# Installs clang if missing, builds build-fuzz/, seeds from the test suite's
# generated files, sample cards and the kept corpus, then runs until SECONDS
# have passed (default 1800). Inputs that crash or hang the reader are copied
# into the kept corpus, so every later ./test replays them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-1800}; shift || true
max_len=65536

if ! command -v clang++ >/dev/null || ! dpkg-query -W -f='${Status}' libclang-rt-14-dev 2>/dev/null | grep -q 'ok installed'; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get install -y -q --no-install-recommends clang libclang-rt-14-dev
fi

if [ ! -f build-fuzz/CMakeCache.txt ]; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVIN_FUZZ=ON
fi
if [ "${FUZZ_TARGET:-}" = recover ]; then
  cmake --build build-fuzz -j"$(nproc)" --target fuzz_recover_walker
  corpus=build-fuzz/fuzz-recover-corpus
  seeds=build-fuzz/fuzz-recover-seeds
  mkdir -p "$corpus" "$seeds"
  if [ -x build/bin/orvin-make-card ]; then
    tmp=$(mktemp -d)
    for sensor in type1 type2; do
      build/bin/orvin-make-card "$tmp/$sensor" --recordings 2 --seconds 1 --front-size 64x64 \
        --rear-size 64x64 --sensor "$sensor" --quiet >/dev/null 2>&1 || true
    done
    # Each seed: the reference's length (4 bytes, big-endian), the reference,
    # then a later recording cut at two thirds with its media size zeroed.
    python3 - "$tmp" "$seeds" <<'PY'
import glob, os, struct, sys
tmp, seeds = sys.argv[1], sys.argv[2]
for n, ref in enumerate(sorted(glob.glob(tmp + '/*/DCIM/*-000001_*.mp4'))):
    later = ref.replace('-000001_', '-000002_')
    later = glob.glob(later.rsplit('/', 1)[0] + '/*-000002_' + ref[-5:])
    if not later:
        continue
    r = open(ref, 'rb').read()
    c = bytearray(open(later[0], 'rb').read())
    pos = 0
    while pos + 8 <= len(c):
        size, kind = struct.unpack('>I4s', bytes(c[pos:pos + 8]))
        if kind == b'mdat' or size < 8:
            break
        pos += size
    c = c[:len(c) * 2 // 3]
    c[pos:pos + 4] = b'\0\0\0\0'
    open(os.path.join(seeds, 'seed%d' % n), 'wb').write(struct.pack('>I', len(r)) + r + bytes(c))
PY
    rm -rf "$tmp"
  fi
  exec build-fuzz/bin/fuzz_recover_walker "$corpus" "$seeds" \
    -rss_limit_mb=1024 -malloc_limit_mb=64 -timeout=5 -max_len=262144 \
    -max_total_time="$seconds" -print_final_stats=1 "$@"
fi
cmake --build build-fuzz -j"$(nproc)" --target fuzz_mov_format test_mov_format

corpus=build-fuzz/fuzz-corpus
seeds=build-fuzz/fuzz-seeds
kept=tests/data/fuzz-corpus
artifacts=build-fuzz/artifacts
mkdir -p "$corpus" "$seeds" "$kept" "$artifacts"
ORVIN_CORPUS_DIR="$root/$seeds" QT_QPA_PLATFORM=offscreen build-fuzz/bin/test_mov_format >/dev/null 2>&1 || true
if [ -x build/bin/orvin-make-card ]; then
  tmp=$(mktemp -d)
  # One second each, so the whole file (its "moov" comes last) fits in the
  # inputs the fuzzer reads.
  build/bin/orvin-make-card "$tmp/a" --recordings 1 --seconds 1 --tiny >/dev/null 2>&1 || true
  build/bin/orvin-make-card "$tmp/b" --recordings 1 --seconds 1 --tiny --sensor type2 >/dev/null 2>&1 || true
  find "$tmp" -name '*.mp4' -exec cp {} "$seeds/" \;
  rm -rf "$tmp"
fi
# A seed longer than the input limit would be cut before its movie box and
# teach the fuzzer nothing about the tables; leave it out and say so.
find "$seeds" -type f -size +$((max_len / 1024))k -print -delete | sed 's/^/fuzz: seed too long, left out: /'

status=0
build-fuzz/bin/fuzz_mov_format "$corpus" "$seeds" "$kept" \
  -dict=scripts/fuzz.dict -artifact_prefix="$artifacts/" \
  -rss_limit_mb=512 -malloc_limit_mb=64 -timeout=2 -max_len=$max_len \
  -max_total_time="$seconds" -print_final_stats=1 "$@" || status=$?
for found in "$artifacts"/crash-* "$artifacts"/timeout-* "$artifacts"/oom-* "$artifacts"/leak-*; do
  [ -f "$found" ] || continue
  cp "$found" "$kept/$(sha1sum "$found" | cut -c1-40)"
  echo "fuzz: kept $found in $kept"
done
exit $status
