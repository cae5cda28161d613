#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a source file includes a folder its own folder may not depend on. The layers point one
# way: app -> browse -> sites -> ui -> settings -> copies -> ftp -> remote; the command line uses the engine and the
# Qt-free pieces named below, never the widgets. The engine and the settings model include no Qt.
#   tests/layers/check_layers.sh [SOURCE_DIR]   (default: the repository's src/)
set -euo pipefail
src=${1:-"$(cd "$(dirname "$0")/../.." && pwd)/src"}

declare -A allowed=(
  [app]="browse sites ui settings copies ftp remote"
  [browse]="sites ui settings copies ftp remote"
  [sites]="ui settings copies ftp remote"
  [ui]="settings copies ftp remote"
  [settings]="copies ftp remote"
  [copies]="ftp remote"
  [ftp]="remote"
  [remote]=""
  [cli]="settings copies ftp remote"
  [.]="app ui"
)
# Single Qt-free headers the command line may use from higher folders.
cli_headers=" app/qt_settings_store.h sites/connect_preparation.h sites/profile_store.h sites/site_profile.h "

# Above the engine, only its public headers (those src/ftp/CMakeLists.txt publishes) may be included,
# and the session's engine object is reached only through the remote-session interface.
ftp_public=" $(sed -n '/tessaline_headers(tessaline_ftp ftp/,/)/p' "$src/ftp/CMakeLists.txt" |
  tr -d ')' | tr -s ' \n' ' ' | sed 's/tessaline_headers(tessaline_ftp ftp//') "

failures=0
while IFS= read -r -d '' file; do
  relative=${file#"$src"/}
  folder=$(dirname "$relative")
  folder=${folder%%/*}
  if [ -z "${allowed[$folder]+set}" ]; then
    echo "$relative: folder \"$folder\" has no place in the layers (add it to this script)"
    failures=$((failures + 1))
    continue
  fi
  while IFS= read -r line; do
    included=$(sed -E 's/^#include "([^"]+)".*/\1/' <<<"$line")
    target=${included%%/*}
    [ "$target" = "$included" ] && continue  # a header beside the file
    [ "$target" = "$folder" ] && continue
    if [[ " ${allowed[$folder]} " == *" $target "* ]]; then
      continue
    fi
    if [ "$folder" = cli ] && [[ "$cli_headers" == *" $included "* ]]; then
      continue
    fi
    echo "$relative: includes \"$included\", but $folder may not depend on $target"
    failures=$((failures + 1))
  done < <(grep -E '^#include "' "$file" || true)
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
  if [[ " ftp remote copies settings " == *" $folder "* ]]; then
    if grep -qE '^#include <Q' "$file"; then
      echo "$relative: includes a Qt header, but $folder is Qt-free"
      failures=$((failures + 1))
    fi
  fi
done < <(find "$src" -type f \( -name '*.cpp' -o -name '*.h' \) -print0)

if [ "$failures" -ne 0 ]; then
  echo "$failures include(s) against the layers"
  exit 1
fi
echo "layers: every include follows the layers"
