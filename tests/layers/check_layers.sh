#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a source file includes a folder its own folder may not depend on. The layers point one
# way: app -> browse -> sites -> ui -> settings -> copies -> ftp -> remote; the command line uses the
# Qt-free folders below the widgets, never the widgets.
#   tests/layers/check_layers.sh [SOURCE_DIR]   (default: the repository's src/)
set -euo pipefail
src=${1:-"$(cd "$(dirname "$0")/../.." && pwd)/src"}

declare -A allowed=(
  [app]="app/settings_store app/bitmap browse sites sites/profiles ui settings copies ftp remote"
  [app/settings_store]="settings ftp remote"
  [app/bitmap]=""
  [browse]="sites sites/profiles ui settings copies ftp remote"
  [sites]="sites/profiles ui settings copies ftp remote"
  [sites/profiles]="settings copies ftp remote"
  [ui]="settings copies ftp remote"
  [settings]="copies ftp remote"
  [copies]="ftp remote"
  [ftp]="remote"
  [remote]=""
  [cli]="cli/options app/settings_store sites/profiles settings copies ftp remote"
  [cli/options]="ftp remote"
  [.]="app ui"
)
# Folders whose code includes no Qt header.
qt_free=" ftp remote copies settings sites/profiles app/bitmap cli cli/options "

# The layer of a folder: its own entry above, else that of its top folder.
layer_of() {
  if [ -n "${allowed[$1]+set}" ]; then echo "$1"; else echo "${1%%/*}"; fi
}

# Above the engine, only its public headers (those src/ftp/CMakeLists.txt publishes) may be included,
# and the session's engine object is reached only through the remote-session interface.
ftp_public=" $(sed -n '/tessaline_headers(tessaline_ftp ftp/,/)/p' "$src/ftp/CMakeLists.txt" |
  tr -d ')' | tr -s ' \n' ' ' | sed 's/tessaline_headers(tessaline_ftp ftp//') "

failures=0
while IFS= read -r -d '' file; do
  relative=${file#"$src"/}
  folder=$(layer_of "$(dirname "$relative")")
  if [ -z "${allowed[$folder]+set}" ]; then
    echo "$relative: folder \"$folder\" has no place in the layers (add it to this script)"
    failures=$((failures + 1))
    continue
  fi
  while IFS= read -r included; do
    [ "$(dirname "$included")" = . ] && continue  # a header beside the file
    target=$(layer_of "$(dirname "$included")")
    [ "$target" = "$folder" ] && continue
    [[ " ${allowed[$folder]} " == *" $target "* ]] && continue
    echo "$relative: includes \"$included\", but $folder may not depend on $target"
    failures=$((failures + 1))
  done < <(sed -nE 's/^#include "([^"]+)".*/\1/p' "$file")
  if [ "$folder" != ftp ]; then
    while IFS= read -r included; do
      if [[ "$ftp_public" != *" ${included#ftp/} "* ]]; then
        echo "$relative: includes \"$included\", which is inside the engine"
        failures=$((failures + 1))
      fi
    done < <(sed -nE 's/^#include "(ftp\/[^"]+)".*/\1/p' "$file")
    if grep -qE '\bCFtpSession\b|\bFtp\(\)' "$file"; then
      echo "$relative: reaches into the FTP engine's session; use the remote-session interface"
      failures=$((failures + 1))
    fi
  fi
  if [[ "$qt_free" == *" $folder "* ]] && grep -qE '^#include <Q' "$file"; then
    echo "$relative: includes a Qt header, but $folder is Qt-free"
    failures=$((failures + 1))
  fi
done < <(find "$src" -type f \( -name '*.cpp' -o -name '*.h' \) -print0)

if [ "$failures" -ne 0 ]; then
  echo "$failures include(s) against the layers"
  exit 1
fi
echo "layers: every include follows the layers"
