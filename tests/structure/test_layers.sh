#!/usr/bin/env bash
# The layers of src/, each including only what lies below it:
#   core (data, content, demo, output, exchange, library, blueprint, analysis, cli): no Qt Widgets header, nothing
#        of the kit, the windows or the shell;
#   kit (ui): nothing of the windows or the shell;
#   windows (windows/...): nothing of the shell.
# Usage: test_layers.sh SRC_DIR QT_WIDGETS_INCLUDE_DIR
set -euo pipefail
src="$1"
widgets_dir="$2"
[ -d "$src/data" ] && [ -d "$widgets_dir" ] || { echo "usage: $0 SRC_DIR QT_WIDGETS_INCLUDE_DIR" >&2; exit 2; }

core=(data content demo output exchange library blueprint analysis cli)
failures=0

# Prints every line of the sources under the given folders that includes one of the patterns.
offending() {
  local pattern="$1"
  shift
  local folders=()
  for f in "$@"; do folders+=("$src/$f"); done
  grep -rnE --include='*.cpp' --include='*.h' "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]($pattern)[>\"]" \
    "${folders[@]}" || true
}

report() {
  local what="$1" lines="$2"
  if [ -n "$lines" ]; then
    echo "$what:"
    echo "$lines"
    failures=$((failures + 1))
  fi
}

# Every header Qt Widgets installs (QWidget, QDialog, qwidget.h, ...), and the module header itself.
widget_headers=$(ls "$widgets_dir" | grep -vE '^(QtWidgets|QtWidgetsDepends|QtWidgetsVersion|qtwidgetsversion\.h)$' |
  sed 's/[.]/[.]/g' | paste -sd '|')
report "core includes Qt Widgets" "$(offending "QtWidgets(/[A-Za-z_.]+)?|$widget_headers" "${core[@]}")"
report "core includes the kit, a window or the shell" "$(offending '(ui|windows|app)/[^>"]+' "${core[@]}")"
report "the kit includes a window or the shell" "$(offending '(windows|app)/[^>"]+' ui)"
report "a window includes the shell" "$(offending 'app/[^>"]+' windows)"

# Every folder of src/ belongs to a layer: a new folder is placed on purpose.
for dir in "$src"/*/; do
  name=$(basename "$dir")
  case " ${core[*]} ui windows app resources " in
    *" $name "*) ;;
    *) echo "src/$name belongs to no layer (add it to tests/structure/test_layers.sh)"; failures=$((failures + 1)) ;;
  esac
done

if [ "$failures" -ne 0 ]; then
  echo "FAIL: $failures layer rule(s) broken"
  exit 1
fi
echo "layers: core, kit, windows and shell include only downwards"
