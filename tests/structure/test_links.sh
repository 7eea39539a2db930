#!/usr/bin/env bash
# exavoro-db, the command-line tool, needs no windows: it must not link Qt Widgets (nor Qt Charts). exavoro, the
# program, is checked the other way round, so that the test would notice if it read nothing.
# Usage: test_links.sh EXAVORO_DB EXAVORO
set -euo pipefail
tool="$1"
program="$2"
needed() { readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'; }
tool_libs=$(needed "$tool")
program_libs=$(needed "$program")
if ! grep -q '^libQt6Core' <<<"$tool_libs"; then
  echo "FAIL: could not read the libraries of $tool"
  exit 1
fi
if grep -q '^libQt6Widgets' <<<"$tool_libs" || ldd "$tool" | grep -q 'libQt6Widgets'; then
  echo "FAIL: $tool links Qt Widgets:"
  ldd "$tool" | grep -i qt6
  exit 1
fi
# The charts of 成绩分析 belong to the windows as well.
if grep -q '^libQt6Charts' <<<"$tool_libs" || ldd "$tool" | grep -q 'libQt6Charts'; then
  echo "FAIL: $tool links Qt Charts"
  exit 1
fi
if ! grep -q '^libQt6Widgets' <<<"$program_libs"; then
  echo "FAIL: $program does not list Qt Widgets among its libraries; the check reads nothing"
  exit 1
fi
echo "exavoro-db links: $(tr '\n' ' ' <<<"$tool_libs")"
