#!/usr/bin/env bash
# Builds the benchmark and runs it on a generated bank of 100,000 questions; with
# `--questions 1000000` (or `--large`) the table of a bank of 1,000,000 questions instead, with the
# program's start and its memory. Banks are generated once and kept in build/bench/. Extra
# arguments go to the benchmark, e.g. --reps 21; `--only analysis` runs the rows of the score
# analysis alone (a generated sitting and its .xlsx sheet; no bank).
# With `--server` the same program operations on the 100,000-question bank copied onto a throw-away
# PostgreSQL server on loopback (scripts/test-server.sh, commits flushed to disk as by default),
# beside the same statements sent with libpq directly (read from the server's statement log) and
# the bank file, in the same run, and twenty programs storing at once, each into a type of its own
# and all into one type. The server is started afresh for each run and stopped at the end.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# A server run needs the PostgreSQL server the tests use.
if printf "%s\n" "$@" | grep -qx -- "--server"; then bash "$here/scripts/install-deps.sh" --test; else bash "$here/scripts/install-deps.sh"; fi
cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEXAVORO_BENCH=ON > /dev/null
cmake --build "$here/build" --target exavoro-bench -j"$(nproc)"
args=()
server=0
for a in "$@"; do
  if [ "$a" = "--server" ]; then server=1; else args+=("$a"); fi
done
if [ "$server" = 1 ]; then
  cmake --build "$here/build" --target exavoro-db -j"$(nproc)"
  dir="$(mktemp -d /tmp/exavoro-bench-server.XXXXXX)"
  trap 'bash "$here/scripts/test-server.sh" stop "$dir"' EXIT
  uri="$(bash "$here/scripts/test-server.sh" start "$dir")"
  args+=(--server "$uri" --server-log "$dir/server.log")
fi
QT_QPA_PLATFORM=offscreen "$here/build/bench/exavoro-bench" --work "$here/build/bench" "${args[@]}"
