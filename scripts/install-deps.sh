#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Exavoro need.
# Only missing packages are installed, so a second run is quick.
set -euo pipefail
# Qt Charts finds its CMake files only beside those of Qt OpenGL (libqt6opengl6-dev).
packages=(build-essential cmake pkg-config ccache qt6-base-dev libqt6sql6-sqlite qt6-translations-l10n
          libgl-dev fonts-noto-cjk libzip-dev libsodium-dev libsqlite3-dev libx11-dev xvfb xauth
          qt6-svg-dev pandoc libqt6sql6-psql libpq-dev
          libxlsxwriter-dev qt6-charts-dev libqt6opengl6-dev)
# Formula previews are typeset by MathJax under Node.js.
if ! command -v node > /dev/null || ! command -v npm > /dev/null; then
  packages+=(nodejs npm)
fi
if [ "${1:-}" = "--test" ]; then
  packages+=(libreoffice-writer-nogui libreoffice-math-nogui libreoffice-calc-nogui poppler-utils)
  # An independent reference for the item statistics: R's psych package.
  packages+=(r-base-core r-cran-psych)
  # The package test: dependencies computed by dpkg-shlibdeps, AppStream validation, and keys
  # sent to the installed program under Xvfb.
  packages+=(dpkg-dev appstream xdotool)
  # A throw-away PostgreSQL server for the tests on a server bank.
  packages+=(postgresql-15)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "安装缺少的软件包：${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# MathJax for the formula previews, at the exact versions of the lock file, beside its helper
# script (where the program looks for it).
mathjax="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/src/content/mathjax"
if [ ! -f "$mathjax/node_modules/mathjax-full/package.json" ] ||
   [ "$mathjax/package-lock.json" -nt "$mathjax/node_modules/.package-lock.json" ]; then
  echo "安装公式排版组件 MathJax"
  (cd "$mathjax" && npm ci --omit=dev --no-audit --no-fund --loglevel=error)
fi
