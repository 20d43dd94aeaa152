#!/usr/bin/env bash
# Builds the scan benchmark without sanitizers and runs it for 500, 2000 and
# 5000 messages. Needs root (a private Dovecot server) and python3.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh python3
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELLORU_BENCH=ON >/dev/null
cmake --build build-bench -j2 --target scan_bench
for count in 500 2000 5000; do
  echo "== $count messages"
  build-bench/bench/scan_bench "$count" bench
done
