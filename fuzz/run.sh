#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A fuzzing campaign with libFuzzer: builds a fuzz target (the message
# target; with "imap" as second argument the IMAP response parser; with
# "scan-pop3" or "scan-imap" a whole scan against a fuzzed server) with
# clang and its sanitizers and runs it for the given seconds (default 600)
# on a working corpus seeded from tests/data and, when present, the shared
# real-world corpus. Crashing inputs land in fuzz/findings/; copy them to
# fuzz/regressions/ once fixed so the test command keeps checking them.
# PELLORU_FUZZ_RUNS=N ends a campaign after N executions instead (the
# seconds still bound it).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
runs=${PELLORU_FUZZ_RUNS:+-runs=$PELLORU_FUZZ_RUNS}
bash tools/install-deps.sh clang libclang-rt-14-dev
out=build-fuzz
mkdir -p "$out" fuzz/findings
case "${2:-message}" in
scan-pop3 | scan-imap)
  # A whole scan against a fuzzed server: every library built with clang,
  # its sanitizers and libFuzzer's instrumentation.
  protocol=${2#scan-}
  CC=clang CXX=clang++ cmake -S . -B build-fuzz-scan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPELLORU_SANITIZE=ON -DPELLORU_FUZZ_CAMPAIGN=ON >/dev/null
  cmake --build build-fuzz-scan -j2 --target "scan_fuzzer_$protocol"
  mkdir -p "build-fuzz-scan/corpus-$protocol"
  cp fuzz/scan-seeds/"$protocol"/* "build-fuzz-scan/corpus-$protocol/"
  # (Absolute paths: the target works in a folder of its own.)
  exec "$PWD/build-fuzz-scan/fuzz/scan_fuzzer_$protocol" "$PWD/build-fuzz-scan/corpus-$protocol" \
    -max_total_time="$seconds" $runs -max_len=16384 -timeout=20 -artifact_prefix="$PWD/fuzz/findings/" -print_final_stats=1
  ;;
esac
if [ "${2:-message}" = imap ]; then
  clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -Isrc/imap fuzz/ImapFuzzer.cpp src/imap/CUT_ImapParser.cpp -o "$out/imap_fuzzer"
  mkdir -p "$out/imap-corpus"
  cp fuzz/imap-seeds/* "$out/imap-corpus/"
  exec "$out/imap_fuzzer" "$out/imap-corpus" -max_total_time="$seconds" -max_len=4096 \
    -artifact_prefix=fuzz/findings/ -print_final_stats=1
fi
sources=(fuzz/MessageFuzzer.cpp src/message/*.cpp src/codec/*.cpp src/source/*.cpp src/text/*.cpp)
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -Isrc/message -Isrc/codec -Isrc/source -Isrc/base -Isrc/text "${sources[@]}" \
  $(pkg-config --cflags --libs gumbo) -o "$out/message_fuzzer"
mkdir -p "$out/corpus"
cp tests/data/*.eml "$out/corpus/" 2>/dev/null || true
[ -d ../shared/corpus ] && find ../shared/corpus -type f ! -name '*.md' ! -name '*.tsv' \
  -exec sh -c 'cp "$1" "'"$out"'/corpus/$(echo "$1" | md5sum | cut -c1-16)"' _ {} \;
"$out/message_fuzzer" "$out/corpus" fuzz/regressions -max_total_time="$seconds" -max_len=40000 \
  -artifact_prefix=fuzz/findings/ -print_final_stats=1
