#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR and checks what a Linux desktop needs of it: the files
# in their places, a desktop entry and metainfo that validate, icons of the sizes their folders
# name, a man page without warnings, and an installed program that starts and closes cleanly.
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR="$root" cmake --install "$build" --prefix /usr/local >/dev/null
prefix=$root/usr/local
id=org.corvane.Tessaline
fail() { echo "install test: $*" >&2; exit 1; }

for f in bin/tessaline bin/tessaline-ftp share/applications/$id.desktop \
         share/metainfo/$id.metainfo.xml share/man/man1/tessaline-ftp.1 \
         share/icons/hicolor/scalable/apps/$id.svg; do
  [ -e "$prefix/$f" ] || fail "missing $f"
done
for size in 16 22 24 32 48 64 128 256; do
  png=$prefix/share/icons/hicolor/${size}x$size/apps/$id.png
  file "$png" | grep -q "PNG image data, $size x $size" || fail "$png is not a $size x $size PNG"
done

desktop-file-validate "$prefix/share/applications/$id.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" >/dev/null ||
  appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"
warnings=$(MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/tessaline-ftp.1" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man page warnings: $warnings"

"$prefix/bin/tessaline-ftp" --help | grep -q "^usage: tessaline-ftp" || fail "tessaline-ftp --help"

# The installed desktop program, in a home of its own: once it catches termination signals, one
# closes it like the close box, and it writes its settings on the way out.
home=$root/home
mkdir -p "$home"
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
