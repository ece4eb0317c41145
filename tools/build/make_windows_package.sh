#!/bin/sh
# Makes the two Windows packages of a Windows build from the same files:
#   tools/build/make_windows_package.sh EXE DEPS OUT
# EXE is the built orvale-viewer.exe and DEPS the prefix that
# tools/build/windows_deps.sh prints (the licences of the libraries built into
# the program lie there). Writes, and prints the paths of,
#   OUT/orvale-viewer_<version>_win64.zip        to unpack anywhere
#   OUT/orvale-viewer_<version>_win64_setup.exe  the per-user installer
# Both hold the program, the HEIF DLLs (libheif with dav1d inside, libde265)
# and help.html beside it, NOTICE and licenses/ (the program's own licence,
# the libraries' and the FreeImage plugin stand-ins' source). The installer is made by makensis (Debian package nsis) from
# tools/build/installer.nsi, with the list of files staged here and the
# picture types of tools/build/picture_types.txt.
set -eu

top=$(cd "$(dirname "$0")/../.." && pwd)
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
deps=$(cd "$2" && pwd)
mkdir -p "$3"
out=$(cd "$3" && pwd)
version=$(sed -n 's/^project(orvale_viewer VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
name=orvale-viewer_${version}_win64
stage=$out/$name
lists=$out/${name}_installer
rm -rf "$stage" "$lists" "$out/$name.zip" "$out/${name}_setup.exe"
mkdir -p "$stage/licenses/orvale-viewer" "$lists"

cp "$exe" "$stage/orvale-viewer.exe"
cp "$deps/bin/libheif.dll" "$deps/bin/libde265.dll" "$stage/"
cp "$top/docs/help.html" "$top/NOTICE" "$stage/"
cp -r "$deps/share/licenses/." "$stage/licenses/"
cp "$top/tools/build/windows_deps_absent.cpp" "$stage/licenses/freeimage/changed-plugins-absent.cpp"
cp /usr/share/common-licenses/GPL-3 "$stage/licenses/orvale-viewer/GPL-3"
(cd "$out" && cmake -E tar cf "$name.zip" --format=zip "$name")
echo "$out/$name.zip"

# files.nsh: each staged file installed and removed by name, folders removed
# deepest first once empty (printf, not echo: the names hold backslashes).
cd "$stage"
if find . | grep -q '[$"`]'; then
    echo "a staged name holds a character NSIS would read: $(find . | grep '[$"`]')" >&2
    exit 1
fi
win() { printf '%s' "$1" | sed 's|^\./||; s|^\.$||; s|/|\\|g'; }
{
    echo '!macro InstallFiles'
    find . -type d | LC_ALL=C sort | while read -r folder; do
        sub=$(win "$folder")
        printf '  SetOutPath "$INSTDIR%s"\n' "${sub:+\\$sub}"
        find "$folder" -maxdepth 1 -type f | LC_ALL=C sort | while read -r file; do
            printf '  File "%s"\n' "$stage/${file#./}"
        done
    done
    echo '!macroend'
    echo '!macro RemoveFiles'
    find . -type f | LC_ALL=C sort | while read -r file; do
        printf '  Delete "$INSTDIR\\%s"\n' "$(win "$file")"
    done
    find . -mindepth 1 -type d | LC_ALL=C sort -r | while read -r folder; do
        printf '  RMDir "$INSTDIR\\%s"\n' "$(win "$folder")"
    done
    echo '!macroend'
} >"$lists/files.nsh"

# types.nsh: the picture types, stereo ones under a file type of our own.
types() {
    sed -n "s/^\(\.[a-z0-9]*\) *stereo\$/  !insertmacro $1StereoType \"\1\"/p
            s/^\(\.[a-z0-9]*\)\$/  !insertmacro $1FlatType \"\1\"/p" "$top/tools/build/picture_types.txt"
}
{
    printf '!macro RegisterTypes\n%s\n!macroend\n' "$(types Register)"
    printf '!macro UnregisterTypes\n%s\n!macroend\n' "$(types Unregister)"
} >"$lists/types.nsh"

/usr/bin/python3 "$top/tools/assets/make_app_icon.py" --ico "$lists/orvale-viewer"
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DLISTS="$lists" -DICON="$lists/orvale-viewer.ico" \
    -DOUTFILE="$out/${name}_setup.exe" "$top/tools/build/installer.nsi" >&2
echo "$out/${name}_setup.exe"
