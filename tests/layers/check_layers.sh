#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a source file includes a folder its own folder may not depend on, when code above the
# engine includes its inner headers or names its session object, and when a Qt-free folder includes
# Qt. The layers point one way: app -> browse -> sites -> keyring -> ui -> settings -> copies -> ftp
# -> remote, with navigation (Qt-free) between browse and the site profiles, and sftp beside ftp; the
# command line uses the Qt-free folders below the widgets, never the widgets.
#   tests/layers/check_layers.sh [SOURCE_DIR]   (default: the repository's src/)
set -euo pipefail
src=${1:-"$(cd "$(dirname "$0")/../.." && pwd)/src"}

declare -A allowed=(
  [app]="app/settings_store app/bitmap browse navigation sites sites/profiles keyring ui settings copies ftp sftp remote"
  [app/settings_store]="settings ftp remote"
  [app/bitmap]=""
  [browse]="navigation sites sites/profiles keyring ui settings copies ftp sftp remote"
  [navigation]="sites/profiles settings copies ftp sftp remote"
  [sites]="sites/profiles keyring ui settings copies ftp sftp remote"
  [keyring]="sites/profiles ui settings copies ftp sftp remote"
  [sites/profiles]="settings copies ftp sftp remote"
  [ui]="settings copies ftp sftp remote"
  [settings]="copies ftp sftp remote"
  [copies]="ftp remote"
  [ftp]="remote"
  [sftp]="remote"
  [remote]=""
  [cli]="cli/options app/settings_store sites/profiles settings copies ftp sftp remote"
  [cli/options]="copies ftp remote"
  [.]="app ui"
)
# Folders whose code includes no Qt header.
qt_free=" ftp sftp remote copies settings sites/profiles navigation app/bitmap cli cli/options "

# The layer of a folder: its own entry above, else that of its top folder (in `layer`).
layer_of() {
  if [ -n "${allowed[$1]+set}" ]; then layer=$1; else layer=${1%%/*}; fi
}

# Above the engine, only its public headers (those src/ftp/CMakeLists.txt publishes) may be included,
# and the session's engine object is reached only through the remote-session interface.
ftp_public=" $(sed -n '/tessaline_headers(tessaline_ftp ftp/,/)/p' "$src/ftp/CMakeLists.txt" |
  tr -d ')' | tr -s ' \n' ' ' | sed 's/tessaline_headers(tessaline_ftp ftp//') "

include_pattern='^#include "([^"]+)"'
session_pattern='(^|[^A-Za-z0-9_])(CFtpSession([^A-Za-z0-9_]|$)|Ftp\(\))'
failures=0
fail() {
  echo "$relative: $1"
  failures=$((failures + 1))
}
while IFS= read -r -d '' file; do
  relative=${file#"$src"/}
  directory=.
  [[ "$relative" == */* ]] && directory=${relative%/*}
  layer_of "$directory"
  folder=$layer
  if [ -z "${allowed[$folder]+set}" ]; then
    fail "folder \"$folder\" has no place in the layers (add it to this script)"
    continue
  fi
  while IFS= read -r line; do
    if [[ "$line" =~ $session_pattern ]] && [ "$folder" != ftp ]; then
      fail "reaches into the FTP engine's session; use the remote-session interface"
    fi
    if [[ "$line" == "#include <Q"* ]] && [[ "$qt_free" == *" $folder "* ]]; then
      fail "includes a Qt header, but $folder is Qt-free"
    fi
    [[ "$line" =~ $include_pattern ]] || continue
    included=${BASH_REMATCH[1]}
    [[ "$included" == */* ]] || continue  # a header beside the file
    layer_of "${included%/*}"
    if [ "$layer" != "$folder" ] && [[ " ${allowed[$folder]} " != *" $layer "* ]]; then
      fail "includes \"$included\", but $folder may not depend on $layer"
    fi
    if [[ "$included" == ftp/* ]] && [ "$folder" != ftp ] && [[ "$ftp_public" != *" ${included#ftp/} "* ]]; then
      fail "includes \"$included\", which is inside the engine"
    fi
  done <"$file"
done < <(find "$src" -type f \( -name '*.cpp' -o -name '*.h' \) -print0)

if [ "$failures" -ne 0 ]; then
  echo "$failures line(s) against the layers"
  exit 1
fi
echo "layers: every include follows the layers"
