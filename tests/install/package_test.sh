#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the Debian packages with cpack into a scratch directory and checks them as dpkg would
# install them: each package's files under /usr, the dependencies it declares, stripped programs of
# a sensible size, lintian's verdict, and the command line running from the unpacked tree.
#   package_test.sh BUILD_DIR VERSION BUILD_TYPE
set -euo pipefail
build=$1
version=$2
build_type=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "package test: $*" >&2; exit 1; }
id=org.corvane.Tessaline
# Both stripped programs together; a debug build (the sanitizer runs) is not held to it.
max_program_bytes=$((3 * 1024 * 1024))

(cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
arch=$(dpkg --print-architecture)
desktop=$scratch/out/tessaline_${version}_$arch.deb
cli=$scratch/out/tessaline-ftp_${version}_$arch.deb
[ -f "$desktop" ] && [ -f "$cli" ] || fail "expected $(basename "$desktop") and $(basename "$cli"), got: $(ls "$scratch/out")"

root=$scratch/root
dpkg -x "$desktop" "$root"
dpkg -x "$cli" "$root"

# Each file in the package that should carry it, and in no other.
expect_files() {  # expect_files DEB FILE...
  local deb=$1 contents
  shift
  contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
  for f in "$@"; do
    grep -qxF "./usr/$f" <<<"$contents" || fail "$(basename "$deb") lacks /usr/$f"
  done
}
expect_files "$desktop" bin/tessaline share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
  share/icons/hicolor/scalable/apps/$id.svg share/icons/hicolor/48x48/apps/$id.png \
  share/man/man1/tessaline.1.gz share/doc/tessaline/copyright share/doc/tessaline/changelog.gz
expect_files "$cli" bin/tessaline-ftp share/man/man1/tessaline-ftp.1.gz \
  share/doc/tessaline-ftp/copyright share/doc/tessaline-ftp/changelog.gz
! dpkg-deb -c "$cli" | grep -q "usr/bin/tessaline$" || fail "the command line package carries the desktop program"
! dpkg-deb -c "$desktop" | grep -q "tessaline-ftp" || fail "the desktop package carries the command line"

for deb in "$desktop" "$cli"; do
  name=$(dpkg-deb -f "$deb" Package)
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$name is not version $version"
  [ -n "$(dpkg-deb -f "$deb" Maintainer)" ] && [ -n "$(dpkg-deb -f "$deb" Section)" ] ||
    fail "$name names no maintainer or section"
  grep -q "^License: GPL-3.0-or-later" "$root/usr/share/doc/$name/copyright" || fail "$name's copyright names no GPL-3.0-or-later"
  zcat "$root/usr/share/doc/$name/changelog.gz" | head -1 | grep -qF "$name ($version)" ||
    fail "$name's changelog does not start with version $version"
done

# What dpkg-shlibdeps found, and what it cannot see: the SVG plugin of the desktop program and the
# libsecret QtKeychain opens.
desktop_depends=$(dpkg-deb -f "$desktop" Depends)
cli_depends=$(dpkg-deb -f "$cli" Depends)
for dep in libqt6svg6 libqt6widgets6 libqt6core6 libqt6keychain1 libsecret-1-0 libssl3 libc6; do
  grep -qw "$dep" <<<"$desktop_depends" || fail "tessaline does not depend on $dep: $desktop_depends"
done
for dep in libqt6core6 libsecret-1-0 libssl3 libc6; do
  grep -qw "$dep" <<<"$cli_depends" || fail "tessaline-ftp does not depend on $dep: $cli_depends"
done
for dep in libqt6gui6 libqt6widgets6 libqt6svg6 libqt6keychain1; do
  ! grep -qw "$dep" <<<"$cli_depends" || fail "tessaline-ftp depends on $dep: $cli_depends"
done

programs=("$root/usr/bin/tessaline" "$root/usr/bin/tessaline-ftp")
for program in "${programs[@]}"; do
  file "$program" | grep -q ", stripped" || fail "$program is not stripped"
done
bytes=$(($(stat -c %s "${programs[@]}" | paste -sd+)))
if [ "$build_type" != Debug ] && [ "$bytes" -ge "$max_program_bytes" ]; then
  fail "the programs take $bytes bytes, $max_program_bytes at most"
fi

# Debian's checks for packages: errors and warnings fail (the informational tags are reported).
verdict=0
review=$(lintian --fail-on error,warning "$desktop" "$cli" 2>&1) || verdict=$?
grep -v "running with root privileges" <<<"$review" || true
[ "$verdict" -eq 0 ] || fail "lintian found errors or warnings"

# The unpacked command line runs with the system's libraries.
out=$("$root/usr/bin/tessaline-ftp" --version 2>&1) || fail "tessaline-ftp --version failed: $out"
[ "$out" = "tessaline-ftp $version" ] || fail "tessaline-ftp --version says \"$out\", not $version"
echo "package test: both packages check out ($bytes bytes of programs)"
