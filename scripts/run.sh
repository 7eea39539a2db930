#!/usr/bin/env bash
# Builds Exavoro and starts it in the current folder. On the first run it creates the demo
# database Data/examdb.db here and prints the demo accounts.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$here/scripts/install-deps.sh"
cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEXAVORO_BENCH=OFF > /dev/null
cmake --build "$here/build" --target exavoro exavoro-db -j"$(nproc)"
if [ ! -e Data/examdb.db ]; then
  echo "未找到 Data/examdb.db，正在创建示例数据库……"
  "$here/build/src/exavoro-db" demo
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "没有图形显示，改用 Xvfb 虚拟显示运行。"
  exec xvfb-run -a -s "-screen 0 1280x800x24" "$here/build/src/exavoro" "$@"
fi
exec "$here/build/src/exavoro" "$@"
