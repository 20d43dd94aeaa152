#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Pelloru and the scan benchmark without sanitizers and measures
# `pelloru --list` as a whole process against a private Dovecot, beside a
# bare poplib loop and a pipelined Python loop (medians of alternated runs):
# on loopback, behind a proxy that adds 10.5 ms each way (21 ms round trip)
# over plain, pop3s://, pop3+stls:// and imaps://, the same without PIPELINING, peak
# memory at 500 and 5,000 messages, system calls per message, and three
# accounts checked at once against each alone. Needs
# root (a private Dovecot server).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh python3 strace xvfb xauth
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELLORU_BENCH=ON >/dev/null
cmake --build build-bench -j2 --target scan_bench imap_parse_bench pelloru
bench=build-bench/bench/scan_bench
pelloru=build-bench/src/app/pelloru
rounds=${ROUNDS:-5}
echo "== loopback"
"$bench" "$pelloru" bench --count 2000 --rounds "$rounds" --syscalls
echo "== 21 ms round trip"
for mode in plain pop3s stls imaps; do
  "$bench" "$pelloru" bench --count 300 --delay 10.5 --mode "$mode" --rounds "$rounds"
done
"$bench" "$pelloru" bench --count 300 --delay 10.5 --strip --rounds "$rounds"
echo "== memory"
for count in 500 5000; do
  "$bench" "$pelloru" bench --count "$count" --rounds 1
done
for count in 500 5000 20000; do
  "$bench" "$pelloru" bench --count "$count" --mode imaps --rounds 1
done
echo "== the cache: a cold scan, 10 new messages (or none), a warm scan"
"$bench" "$pelloru" bench --count 20000 --warm 10 --rounds 9
"$bench" "$pelloru" bench --count 20000 --warm 0 --rounds 9
"$bench" "$pelloru" bench --count 20000 --warm 10 --delay 10.5 --rounds 3
"$bench" "$pelloru" bench --count 5000 --warm 10 --rounds 3
echo "== previews of everyday mail"
cmake --build build-bench -j2 --target preview_share >/dev/null
mail=$(mktemp -d /tmp/pelloru-everyday-XXXXXX)
python3 bench/everyday_mail.py 2000 "$mail"
build-bench/bench/preview_share "$pelloru" "$mail"
rm -rf "$mail"
echo "== three accounts at once, 300 messages each, 21 ms round trip"
cmake --build build-bench -j2 --target accounts_bench >/dev/null
build-bench/bench/accounts_bench bench --count 300 --delay 10.5 --rounds 3
echo "== the window during a scan of 2,000 messages, 21 ms round trip"
cmake --build build-bench -j2 --target window_bench >/dev/null
fifo=$(mktemp -u /tmp/pelloru-serve-XXXXXX)
mkfifo "$fifo"
"$bench" "$pelloru" bench --count 2000 --delay 10.5 --serve <"$fifo" >"$fifo.out" &
served=$!
exec 9>"$fifo"
for _ in $(seq 600); do grep -q XDG_CONFIG_HOME "$fifo.out" 2>/dev/null && break; sleep 0.1; done
where=$(head -1 "$fifo.out")
config=${where#XDG_CONFIG_HOME=}; config=${config%%;*}
(cd "${where##*cd }" && XDG_CONFIG_HOME="$config" QT_QPA_PLATFORM=offscreen \
  "$OLDPWD/build-bench/bench/window_bench" --cancel-at 1000)
exec 9>&-
wait "$served"
rm -f "$fifo" "$fifo.out"
echo "== the IMAP parser: one response of many literals"
build-bench/bench/imap_parse_bench
echo "== all day: two accounts of 10,000 messages (POP3, imaps), 30 checks in a row under Xvfb;"
echo "   then the same checks headless, and push while another account fails"
cmake --build build-bench -j2 --target soak_bench >/dev/null
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1400x900x24" build-bench/bench/soak_bench "$PWD/$pelloru" --count 10000 --checks 30
