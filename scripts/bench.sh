#!/usr/bin/env bash
# Builds the benchmark and runs it on a generated bank of 100,000 questions; with
# `--questions 1000000` (or `--large`) the table of a bank of 1,000,000 questions instead, with the
# program's start and its memory. Banks are generated once and kept in build/bench/. Extra
# arguments go to the benchmark, e.g. --reps 21.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$here/scripts/install-deps.sh"
cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEXAVORO_BENCH=ON > /dev/null
cmake --build "$here/build" --target exavoro-bench -j"$(nproc)"
QT_QPA_PLATFORM=offscreen "$here/build/bench/exavoro-bench" --work "$here/build/bench" "$@"
