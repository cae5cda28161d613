#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into a scratch DESTDIR and checks what a Linux desktop needs of it: the files
# in their places, a desktop entry and metainfo that validate (strictly, with both validators), icons
# of the sizes their folders name, man pages without warnings, the project's version in the pages
# and the metainfo, and an installed program that starts and closes cleanly.
#   install_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR="$root" cmake --install "$build" --prefix /usr/local >/dev/null
prefix=$root/usr/local
id=org.corvane.Tessaline
fail() { echo "install test: $*" >&2; exit 1; }

for f in bin/tessaline bin/tessaline-ftp share/applications/$id.desktop \
         share/metainfo/$id.metainfo.xml share/man/man1/tessaline.1.gz share/man/man1/tessaline-ftp.1.gz \
         share/icons/hicolor/scalable/apps/$id.svg; do
  [ -e "$prefix/$f" ] || fail "missing $f"
done
for size in 16 22 24 32 48 64 128 256; do
  png=$prefix/share/icons/hicolor/${size}x$size/apps/$id.png
  file "$png" | grep -q "PNG image data, $size x $size" || fail "$png is not a $size x $size PNG"
done

desktop-file-validate "$prefix/share/applications/$id.desktop"
metainfo=$prefix/share/metainfo/$id.metainfo.xml
appstreamcli validate --pedantic --no-net "$metainfo" >/dev/null ||
  appstreamcli validate --pedantic --no-net "$metainfo"
appstream-util validate --nonet "$metainfo" >/dev/null || appstream-util validate --nonet "$metainfo"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo's release is not $version"
for page in tessaline tessaline-ftp; do
  man=$prefix/share/man/man1/$page.1.gz
  warnings=$(mandoc -T lint -W warning "$man" 2>&1) || fail "mandoc on $page.1: $warnings"
  warnings=$(MANWIDTH=80 man --warnings -l "$man" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man page warnings in $page.1: $warnings"
  # Read whole before matching: grep -q ends at the first match, and the writer's SIGPIPE would fail
  # the pipeline.
  text=$(zcat "$man")
  grep -q "^\.TH .*\"Tessaline $version\"" <<<"$text" || fail "$page.1 does not name version $version"
done

usage=$("$prefix/bin/tessaline-ftp" --help) || fail "tessaline-ftp --help failed"
grep -q "^usage: tessaline-ftp" <<<"$usage" || fail "tessaline-ftp --help"
# Both programs name the one version; the desktop program without a display to open.
for program in tessaline tessaline-ftp; do
  said=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/$program" --version) ||
    fail "$program --version failed"
  [ "$said" = "$program $version" ] || fail "$program --version says \"$said\""
done

# The installed desktop program, in a home of its own: once it catches termination signals, one
# closes it like the close box, and it writes its settings on the way out.
home=$root/home
mkdir -p "$home"
chmod 700 "$home"
status=0
# No desktop bus: the program needs none, and the bus library's own thread leaks at exit, which a
# sanitizer build would report.
env -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u QT_QPA_PLATFORM HOME="$home" XDG_RUNTIME_DIR="$home" \
  DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/tessaline-test-bus \
  xvfb-run -a bash -c '
    "$1" & pid=$!
    for _ in $(seq 600); do
      caught=$(awk "/^SigCgt:/ {print \$2}" /proc/$pid/status 2>/dev/null) || break
      (( (16#${caught:-0} >> 14) & 1 )) && break
      sleep 0.1
    done
    kill -TERM $pid; wait $pid' _ "$prefix/bin/tessaline" || status=$?
[ "$status" -eq 0 ] || fail "the installed program ended with status $status"
[ -f "$home/.config/Corvane/Tessaline.conf" ] || fail "the installed program wrote no settings"
echo "install test: all installed files check out"
