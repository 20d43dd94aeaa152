#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the dependencies, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test. Any sanitizer report
# aborts the test that caused it, so it fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
build=build-test
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELLORU_SANITIZE=ON
cmake --build "$build" -j2
# The texts the tests compare are German, the language without a locale.
unset LC_ALL LC_MESSAGES
export LANG=C.UTF-8
export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
ctest --test-dir "$build" -j2 --output-on-failure
