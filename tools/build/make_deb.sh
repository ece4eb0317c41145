#!/bin/sh
# Makes the Debian package of the program from a build folder:
#   tools/build/make_deb.sh BUILD [OUT]   (OUT defaults to BUILD/package)
# It installs the build into a staging folder with `cmake --install`, adds
# what Debian asks of a package (copyright, changelog, compressed manual page,
# stripped program), finds Depends with dpkg-shlibdeps from the libraries the
# program links, and prints the path of the .deb it wrote.
set -eu

top=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
out=${2:-$build/package}
mkdir -p "$out"
out=$(cd "$out" && pwd)
version=$(sed -n 's/^project(orvale_viewer VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
arch=$(dpkg --print-architecture)
maintainer=${ORVALE_MAINTAINER:-"Orvale Viewer developers <dev@orvale-viewer.org>"}
# dpkg-shlibdeps reads debian/control from where it runs and wants the program
# in a package tree (debian/<package>/ with its DEBIAN/): the staging folder.
work=$out/work
root=$work/debian/orvale-viewer
deb=$out/orvale-viewer_${version}_$arch.deb

rm -rf "$work" "$deb"
umask 022
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
program=$root/usr/lib/orvale-viewer/orvale-viewer
# As dh_strip does: the debug information stays in the build folder.
strip --strip-unneeded --remove-section=.comment --remove-section=.note "$program"

doc=$root/usr/share/doc/orvale-viewer
cp "$top/desktop/copyright" "$doc/copyright"
# A native package: one entry for the version, dated by the last commit.
date=$(git -C "$top" log -1 --format=%aD 2>/dev/null || date -R)
printf 'orvale-viewer (%s) unstable; urgency=medium\n\n  * Package of Orvale Viewer %s.\n\n -- %s  %s\n' \
    "$version" "$version" "$maintainer" "$date" | gzip -9n >"$doc/changelog.gz"
gzip -9n "$root/usr/share/man/man1/orvale-viewer.1"

mkdir -p "$root/DEBIAN"
printf 'Source: orvale-viewer\n\nPackage: orvale-viewer\nArchitecture: any\n' >"$work/debian/control"
depends=$(cd "$work" && dpkg-shlibdeps -O -e"$program" | sed -n 's/^shlibs:Depends=//p')
[ -n "$depends" ] || { echo "dpkg-shlibdeps found no libraries" >&2; exit 1; }

(cd "$root" && find usr -type f | LC_ALL=C sort | xargs md5sum) >"$root/DEBIAN/md5sums"
cat >"$root/DEBIAN/control" <<EOF
Package: orvale-viewer
Version: $version
Architecture: $arch
Maintainer: $maintainer
Installed-Size: $(du -sk --exclude=DEBIAN "$root" | cut -f1)
Depends: $depends
Section: graphics
Priority: optional
Homepage: http://orvale-viewer.org/
Description: stereo photo viewer for row-interleaved 3D monitors
 Orvale Viewer browses folders as a grid of two-view thumbnails and opens
 one stereo picture at a time, fitted to the window, zoomable about the
 pointer and pannable. It draws both views into one frame whose even screen
 rows hold one view and odd rows the other, for passive polarised 3D
 monitors, and keeps them aligned wherever the window stands.
 .
 It reads side-by-side pairs (.jps), two-stream JPEG files (.mpo), stereo
 HEIC files (a phone's spatial photos) and the flat picture types FreeImage
 and libheif read, HEIC, HEIF and AVIF among them.
EOF
dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" >/dev/null
echo "$deb"
