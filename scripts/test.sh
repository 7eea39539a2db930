#!/usr/bin/env bash
# Builds Exavoro and runs every test. With --sanitize the tests are built with the address and
# undefined-behaviour sanitizers, in a build folder of their own.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$here/scripts/install-deps.sh" --test
build="$here/build"
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
  build="$here/build-sanitize"
  flags=(-DCMAKE_BUILD_TYPE=Debug -DEXAVORO_SANITIZE=ON -DEXAVORO_BENCH=OFF)
fi
cmake -S "$here" -B "$build" "${flags[@]}" > /dev/null
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
# A throw-away PostgreSQL server for the tests on a server bank, stopped whatever happens.
server_dir="$(mktemp -u /tmp/exavoro-test-server.XXXXXX)"
trap 'bash "$here/scripts/test-server.sh" stop "$server_dir"' EXIT
EXAVORO_TEST_SERVER_URI="$(bash "$here/scripts/test-server.sh" start "$server_dir" fast)"
export EXAVORO_TEST_SERVER_URI
cd "$build" && ctest --output-on-failure -j2
