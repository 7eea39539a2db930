#!/usr/bin/env bash
# Runs a test program with its banks on the test server (EXAVORO_TEST_SERVER_URI, set by
# scripts/test.sh); exit code 77 (skipped) when no server was started.
if [ -z "${EXAVORO_TEST_SERVER_URI:-}" ]; then
  echo "没有测试用的数据库服务器（EXAVORO_TEST_SERVER_URI），跳过。"
  exit 77
fi
EXAVORO_TEST_SERVER="$EXAVORO_TEST_SERVER_URI" exec "$@"
