#!/bin/bash
# Builds the third-party libraries of the native Windows program (MinGW-w64,
# posix thread model, static) from Debian's own source packages, and prints
# the folder they went into as the LAST line of standard output (everything
# else goes to standard error):
#
#     PREFIX=$(tools/build/windows_deps.sh | tail -1)
#
# Layout of the prefix:
#   include/  FreeImage.h, jpeglib.h (+ jconfig.h jmorecfg.h jerror.h), png.h
#             (+ pngconf.h pnglibconf.h), zlib.h zconf.h, gtest/, gmock/,
#             libheif/ (heif.h ...)
#   lib/      libfreeimage.a libjpeg.a libpng16.a (and the same as libpng.a)
#             libz.a libgtest.a libgtest_main.a libgmock.a libgmock_main.a
#             (+ cmake/GTest and pkgconfig/ from GoogleTest's install),
#             libheif.dll.a (the import library of bin/libheif.dll)
#   bin/      libheif.dll (with dav1d, AV1, built in) and libde265.dll (HEVC),
#             stripped: the only DLLs the program needs besides the system's
#   share/licenses/<package>/  debian-copyright and upstream licences, also
#             for the MinGW-w64 and GCC runtimes a static program carries
#   VERSIONS  "source <package> <version>" for each source package built and
#             "binary <package> <version>" for the MinGW toolchain and zlib
#
# Using the static FreeImage: define FREEIMAGE_LIB before including
# FreeImage.h (without it the header declares dllimport functions), call
# FreeImage_Initialise() before anything else and FreeImage_DeInitialise() at
# the end (no DllMain does it for a static library), and link
#     -lfreeimage -lpng16 -ljpeg -lz
# Include <windows.h>, if at all, before FreeImage.h: the header defines BYTE,
# BOOL, RGBQUAD and friends itself unless windows.h came first.
# FreeImage here reads and writes BMP, ICO, JPEG, JNG, KOALA, IFF, MNG, PBM,
# PGM, PPM, PCD, PCX, PNG, RAS, TARGA, WBMP, PSD, CUT, XBM, XPM, DDS, GIF, HDR,
# SGI, PFM and PICT (each as far as its plugin does). TIFF, G3, OpenEXR,
# JPEG-2000, RAW, WebP and JPEG XR are left out but keep their format numbers
# (see tools/build/windows_deps_absent.cpp).
#
# HEIF and AVIF: libheif (LGPL-3+) and libde265 (LGPL-3+) are DLLs, so that
# a user can put other builds of them beside the program, as their licence
# asks; dav1d (BSD-2-Clause, its assembly off: no nasm) is linked into
# libheif.dll. Each DLL carries its own copy of the C and C++ runtimes
# (linked statically) and exports only its own symbols. No HEIC or AVIF
# encoder is built.
#
# GoogleTest is built with gtest_disable_pthreads=ON, i.e. with
# GTEST_HAS_PTHREAD=0, the value gtest-port.h picks on MinGW by itself, so a
# program that links lib/libgtest.a by path agrees with the library.
#
# The prefix is a cache:
#   ${ORVALE_WIN_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/orvale-viewer-windows-deps}/win64-<key>
# where <key> hashes this script, its two C++ files, the newest source package
# versions apt knows and the versions of the toolchain and zlib packages. A prefix
# is complete when its .complete stamp exists (written last); then this script
# only checks and prints it. A failed build removes its prefix. Runs are
# serialised by a lock in the cache folder.
#
# Source entries: apt needs deb-src lines to fetch sources. They are derived at
# run time from this machine's own deb entries whose archive says
# "Origin: Debian", and written to
#   /etc/apt/sources.list.d/orvale-viewer-src.sources
# which stays in place afterwards (delete it and run apt-get update to undo).
# Installing packages and writing that file needs root (or sudo).
#
# Environment: ORVALE_WIN_DEPS_CACHE (cache root), ORVALE_WINEPREFIX (the Wine
# prefix the check runs in; default <cache root>/wineprefix-check).
set -euo pipefail

exec 3>&1 1>&2   # stdout carries the prefix only

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
SRC_PACKAGES="freeimage libjpeg-turbo libpng1.6 googletest libde265 dav1d libheif"
HOST_PACKAGES="g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
libz-mingw-w64-dev dpkg-dev cmake make meson ninja-build xz-utils patch wine64 wine"
OUR_SOURCES=/etc/apt/sources.list.d/orvale-viewer-src.sources
CROSS=x86_64-w64-mingw32
MINGW_ROOT=/usr/$CROSS
JOBS=2

log() { printf 'windows_deps [%3ds] %s\n' "$SECONDS" "$*" >&2; }
die() { log "error: $*"; exit 1; }

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"
    elif command -v sudo >/dev/null 2>&1; then sudo "$@"
    else die "needs root (or sudo) for: $*"; fi
}

apt_update() {
    log "apt-get update"
    as_root env DEBIAN_FRONTEND=noninteractive timeout 600 \
        apt-get -o DPkg::Lock::Timeout=300 update -qq
}

install_missing() {
    local p missing=""
    for p in $HOST_PACKAGES; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep "ok installed" >/dev/null || missing="$missing $p"
    done
    [ -z "$missing" ] && return 0
    log "installing:$missing"
    apt_update || die "apt-get update failed (network or apt sources?)"
    # shellcheck disable=SC2086
    as_root env DEBIAN_FRONTEND=noninteractive timeout 1800 \
        apt-get -o DPkg::Lock::Timeout=300 install -y -qq --no-install-recommends $missing \
        || die "apt-get install failed for:$missing"
}

# --- source entries -------------------------------------------------------

# Prints the Signed-By/Trusted lines (deb822 spelling) of one entry, given
# apt's "file:number" for it: a line number in a .list file, a paragraph
# number in a .sources file.
entry_options() {
    local file=${1%:*} number=${1##*:}
    case $file in
    *.sources)
        awk -v want="$number" '
            /^[ \t]*#/ { next }
            /^[ \t]*$/ { inside = 0; next }
            { if (!inside) { inside = 1; n++ }
              if (n != want) next
              if ($0 ~ /^[^ \t]/) { field = tolower($0); sub(/:.*/, "", field) }
              if (field == "signed-by" || field == "trusted") print }' "$file" ;;
    *)
        awk -v want="$number" 'NR == want && match($0, /\[[^]]*\]/) {
            n = split(substr($0, RSTART + 1, RLENGTH - 2), option, /[ \t]+/)
            for (i = 1; i <= n; i++) {
                if (option[i] ~ /^signed-by=/) print "Signed-By: " substr(option[i], 11)
                if (option[i] ~ /^trusted=/) print "Trusted: " substr(option[i], 9)
            } }' "$file" ;;
    esac
}

# apt's index targets, one a line: identifier|type|URI|suite|component|
# origin|entry, where entry is "file:number" of the line that asks for it.
index_targets() {
    # shellcheck disable=SC2016  # apt's own $(FIELD) placeholders
    apt-get indextargets \
        --format '$(IDENTIFIER)|$(TARGET_OF)|$(REPO_URI)|$(RELEASE)|$(COMPONENT)|$(ORIGIN)|$(SOURCESENTRY)' |
        sort -u
}

# Prints the deb822 paragraphs of our deb-src file, given index_targets: one
# per archive, suite and options of the deb entries whose Release says
# "Origin: Debian" (all deb entries when apt has no Release files), less the
# components that another file already gives sources for.
derive_sources() {
    local debian have uri suite component entry options
    debian=$(printf '%s\n' "$1" | awk -F'|' '$1 == "Packages" && $2 == "deb" && $6 == "Debian"')
    [ -n "$debian" ] || debian=$(printf '%s\n' "$1" | awk -F'|' '$1 == "Packages" && $2 == "deb"')
    have=$(printf '%s\n' "$1" | awk -F'|' -v ours="$OUR_SOURCES:" \
        '$1 == "Sources" && index($7, ours) != 1 { print $3 "|" $4 "|" $5 }')
    printf '%s\n' "$debian" | while IFS='|' read -r _ _ uri suite component _ entry; do
        [ -n "$uri" ] || continue
        case $uri in cdrom:*) continue ;; esac
        printf '%s\n' "$have" | grep -xF "$uri|$suite|$component" >/dev/null && continue
        options=$(entry_options "$entry" | sed ':a;N;$!ba;s/\n/@NL@/g')
        printf '%s|%s|%s|%s\n' "$uri" "$suite" "$options" "$component"
    done | sort -u | awk -F'|' '
        { key = $1 "|" $2 "|" $3
          if (!(key in comps)) { order[++n] = key; comps[key] = $4 } else comps[key] = comps[key] " " $4 }
        END {
          if (n) print "# Written by Orvale Viewer'"'"'s tools/build/windows_deps.sh from this machine'"'"'s deb entries."
          for (i = 1; i <= n; i++) {
            split(order[i], part, "|"); options = part[3]; gsub(/@NL@/, "\n", options)
            print ""; print "Types: deb-src"; print "URIs: " part[1]; print "Suites: " part[2]
            print "Components: " comps[order[i]]; if (options != "") print options
          } }'
}

# Package and Version lines of the source packages we build, as apt knows them.
read_source_index() {
    # shellcheck disable=SC2086
    SOURCE_INDEX=$(apt-cache showsrc --only-source $SRC_PACKAGES 2>/dev/null | grep -E '^(Package|Version): ' || true)
}

# Versions of a source package in SOURCE_INDEX, newest first.
source_versions() {
    local v w out placed sorted=""
    for v in $(printf '%s\n' "$SOURCE_INDEX" |
        awk -v p="$1" '$1 == "Package:" { name = $2 } $1 == "Version:" && name == p { print $2 }' | sort -u); do
        out=""; placed=0
        for w in $sorted; do
            if [ $placed = 0 ] && dpkg --compare-versions "$v" gt "$w"; then out="$out $v"; placed=1; fi
            out="$out $w"
        done
        [ $placed = 1 ] || out="$out $v"
        sorted=$out
    done
    echo "${sorted# }"
}

missing_sources() {
    local p
    for p in $SRC_PACKAGES; do [ -n "$(source_versions "$p")" ] || printf ' %s' "$p"; done
}

ensure_sources() {
    local targets want current update=0
    targets=$(index_targets)
    # Without Release files (apt-get update never ran) apt knows no origins.
    if ! printf '%s\n' "$targets" | awk -F'|' '$1 == "Packages" && $6 !~ /^(|\$\(ORIGIN\))$/' | grep . >/dev/null; then
        apt_update || log "warning: apt-get update reported errors"
        targets=$(index_targets)
    fi
    want=$(derive_sources "$targets")
    current=$(cat "$OUR_SOURCES" 2>/dev/null || true)
    if [ "$want" != "$current" ]; then
        if [ -z "$want" ]; then
            as_root rm -f "$OUR_SOURCES"
        else
            log "writing $OUR_SOURCES"
            printf '%s\n' "$want" | as_root tee "$OUR_SOURCES" >/dev/null
        fi
        update=1
    fi
    read_source_index
    [ -z "$(missing_sources)" ] || update=1
    if [ $update = 1 ]; then
        apt_update || log "warning: apt-get update reported errors; checking the source indexes anyway"
        read_source_index
    fi
    [ -z "$(missing_sources)" ] ||
        die "apt knows no source package for:$(missing_sources) (see $OUR_SOURCES and the apt-get update output)"
}

# --- build steps -----------------------------------------------------------

# Runs a step with its output in a log; on failure shows the log's end.
step() {
    local name=$1; shift
    log "$name"
    if ! "$@" >"$WORK/logs/$name.log" 2>&1 9>&-; then
        tail -n 40 "$WORK/logs/$name.log" >&2
        die "step '$name' failed (log above)"
    fi
}

# Fetches a source package into $WORK/src/<package>, newest version first,
# falling back to older ones the archive still has (a mirror may lack the
# newest). Records the version used in VERSIONS.
fetch() {
    local package=$1 version
    for version in $(source_versions "$package"); do
        log "fetching $package $version"
        if (cd "$WORK/src" && timeout 600 apt-get source --download-only -qq "$package=$version") \
            >>"$WORK/logs/fetch-$package.log" 2>&1 &&
            (cd "$WORK/src" && timeout 600 dpkg-source -x "${package}_${version#*:}.dsc" "$package") \
            >>"$WORK/logs/fetch-$package.log" 2>&1; then
            printf 'source %s %s\n' "$package" "$version" >>"$PREFIX/VERSIONS"
            return 0
        fi
        log "could not fetch $package $version; trying an older one"
        rm -rf "${WORK:?}/src/$package" "$WORK/src/${package}_"*
    done
    tail -n 20 "$WORK/logs/fetch-$package.log" >&2
    die "could not fetch the source package $package (apt-get update may help)"
}

licences() {
    local package=$1 from=$2; shift 2
    mkdir -p "$PREFIX/share/licenses/$package"
    cp "$from/debian/copyright" "$PREFIX/share/licenses/$package/debian-copyright"
    local f
    for f in "$@"; do cp "$from/$f" "$PREFIX/share/licenses/$package/"; done
}

write_toolchain() {
    cat >"$WORK/toolchain.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER $CROSS-gcc-posix)
set(CMAKE_CXX_COMPILER $CROSS-g++-posix)
set(CMAKE_RC_COMPILER $CROSS-windres)
set(CMAKE_FIND_ROOT_PATH $MINGW_ROOT $PREFIX)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF
}

cmake_configure() {
    local name=$1; shift
    cmake -S "$WORK/src/$name" -B "$WORK/build/$name" -G "Unix Makefiles" \
        -DCMAKE_TOOLCHAIN_FILE="$WORK/toolchain.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$PREFIX" "$@"
}

build_jpeg() {
    local src=$WORK/src/libjpeg-turbo build=$WORK/build/libjpeg-turbo
    step jpeg-configure cmake_configure libjpeg-turbo -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
        -DWITH_TURBOJPEG=OFF -DWITH_SIMD="$SIMD"
    step jpeg-build cmake --build "$build" -j "$JOBS" --target jpeg-static
    cp "$build/libjpeg.a" "$PREFIX/lib/"
    cp "$build/jconfig.h" "$src/jpeglib.h" "$src/jmorecfg.h" "$src/jerror.h" "$PREFIX/include/"
    licences libjpeg-turbo "$src" LICENSE.md README.ijg
}

build_png() {
    local src=$WORK/src/libpng1.6 build=$WORK/build/libpng1.6
    step png-configure cmake_configure libpng1.6 -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
        -DZLIB_LIBRARY="$PREFIX/lib/libz.a" -DZLIB_INCLUDE_DIR="$PREFIX/include"
    step png-build cmake --build "$build" -j "$JOBS" --target png_static
    cp "$build/libpng16.a" "$PREFIX/lib/libpng16.a"
    cp "$build/libpng16.a" "$PREFIX/lib/libpng.a"
    cp "$build/pnglibconf.h" "$src/png.h" "$src/pngconf.h" "$PREFIX/include/"
    licences libpng1.6 "$src" LICENSE
}

# zlib comes built from Debian's MinGW package. The copyright files of the
# MinGW-w64 runtime (CRT, winpthreads) and of GCC's runtime (libstdc++,
# libgcc) join the licences: a static program carries them too.
build_zlib() {
    local pair
    cp "$MINGW_ROOT/lib/libz.a" "$PREFIX/lib/"
    cp "$MINGW_ROOT/include/zlib.h" "$MINGW_ROOT/include/zconf.h" "$PREFIX/include/"
    for pair in libz-mingw-w64:libz-mingw-w64-dev mingw-w64:mingw-w64-x86-64-dev gcc-mingw-w64:gcc-mingw-w64-base; do
        mkdir -p "$PREFIX/share/licenses/${pair%%:*}"
        cp "/usr/share/doc/${pair#*:}/copyright" "$PREFIX/share/licenses/${pair%%:*}/debian-copyright"
    done
}

# FreeImage's own sources (Debian's patches applied) against our libraries:
# every plugin that needs no other library, plus tools/build/windows_deps_absent.cpp
# in place of those that do. JPEGTransform.cpp is left out as Debian leaves it
# out (it needs libjpeg's private transupp.c); Debian's patches already turn
# off G3 loading, which needs libtiff.
build_freeimage() {
    local src=$WORK/src/freeimage
    cp "$HERE/windows_deps_absent.cpp" "$src/Source/FreeImage/PluginAbsent.cpp"
    cat >"$WORK/freeimage.mk" <<'EOF'
LEFT_OUT := PluginTIFF PluginEXR PluginJ2K PluginJP2 J2KHelper PluginRAW PluginWebP PluginJXR
SRCS := $(filter-out $(LEFT_OUT:%=$(S)/Source/FreeImage/%.cpp),$(wildcard $(S)/Source/FreeImage/*.cpp)) \
        $(S)/Source/FreeImage/FreeImageC.c \
        $(filter-out %/XTIFF.cpp,$(wildcard $(S)/Source/Metadata/*.cpp)) \
        $(filter-out %/JPEGTransform.cpp,$(wildcard $(S)/Source/FreeImageToolkit/*.cpp))
OBJS := $(patsubst $(S)/%,obj/%.o,$(SRCS))
FLAGS := -O2 -DNDEBUG -DFREEIMAGE_LIB -D_WIN32_WINNT=0x0601 -fexceptions \
         -I$(S)/Source -I$(S)/Source/Metadata -I$(S)/Source/FreeImageToolkit -I$(P)/include
libfreeimage.a: $(OBJS)
	rm -f $@ && $(AR) rcs $@ $^
obj/%.cpp.o: $(S)/%.cpp
	@mkdir -p $(@D) && echo "  $<" && $(CXX) $(FLAGS) -std=gnu++14 -c $< -o $@
obj/%.c.o: $(S)/%.c
	@mkdir -p $(@D) && echo "  $<" && $(CC) $(FLAGS) -c $< -o $@
EOF
    mkdir -p "$WORK/build/freeimage"
    step freeimage-build make -C "$WORK/build/freeimage" -f "$WORK/freeimage.mk" -j "$JOBS" \
        S="$src" P="$PREFIX" CC="$CROSS-gcc-posix" CXX="$CROSS-g++-posix" AR="$CROSS-ar"
    cp "$WORK/build/freeimage/libfreeimage.a" "$PREFIX/lib/"
    cp "$src/Source/FreeImage.h" "$PREFIX/include/"
    licences freeimage "$src" license-fi.txt license-gplv2.txt license-gplv3.txt
}

# The flags every DLL is linked with: runtimes in, their symbols not exported.
DLL_LDFLAGS="-static -Wl,--exclude-libs,libpthread.a:libwinpthread.a:libstdc++.a:libgcc.a:libgcc_eh.a:libmingwex.a:libssp.a"

# libde265 as a DLL: the library only (no SDL, no encoder, no dec265 tool).
build_de265() {
    step de265-configure cmake_configure libde265 -DBUILD_SHARED_LIBS=ON -DENABLE_SDL=OFF -DENABLE_DECODER=OFF \
        -DENABLE_ENCODER=OFF -DCMAKE_SHARED_LINKER_FLAGS="$DLL_LDFLAGS"
    step de265-build cmake --build "$WORK/build/libde265" -j "$JOBS"
    step de265-install cmake --install "$WORK/build/libde265"
    licences libde265 "$WORK/src/libde265" COPYING
}

# dav1d, static, for libheif.dll to take in; meson with a cross file.
build_dav1d() {
    cat >"$WORK/meson-cross.ini" <<EOF
[binaries]
c = '$CROSS-gcc-posix'
cpp = '$CROSS-g++-posix'
ar = '$CROSS-ar'
strip = '$CROSS-strip'
windres = '$CROSS-windres'

[host_machine]
system = 'windows'
cpu_family = 'x86_64'
cpu = 'x86_64'
endian = 'little'
EOF
    step dav1d-configure meson setup "$WORK/build/dav1d" "$WORK/src/dav1d" --cross-file "$WORK/meson-cross.ini" \
        --prefix="$PREFIX" --libdir=lib --buildtype=release --default-library=static -Denable_asm=false \
        -Denable_tools=false -Denable_tests=false -Denable_examples=false
    step dav1d-build ninja -C "$WORK/build/dav1d" -j "$JOBS"
    step dav1d-install ninja -C "$WORK/build/dav1d" install
    licences dav1d "$WORK/src/dav1d" COPYING
}

# libheif as a DLL with its HEVC (libde265) and AV1 (dav1d) decoders built
# in, no plugin loading, no encoders, no tools.
build_heif() {
    # pkg-config looks for libde265 and dav1d in the prefix only.
    PKG_CONFIG_LIBDIR="$PREFIX/lib/pkgconfig" step heif-configure cmake_configure libheif \
        -DBUILD_SHARED_LIBS=ON -DENABLE_PLUGIN_LOADING=OFF -DWITH_LIBDE265=ON -DWITH_DAV1D=ON -DWITH_X265=OFF \
        -DWITH_AOM_DECODER=OFF -DWITH_AOM_ENCODER=OFF -DWITH_SvtEnc=OFF -DWITH_RAV1E=OFF -DWITH_EXAMPLES=OFF \
        -DWITH_GDK_PIXBUF=OFF -DBUILD_TESTING=OFF -DCMAKE_SHARED_LINKER_FLAGS="$DLL_LDFLAGS"
    step heif-build cmake --build "$WORK/build/libheif" -j "$JOBS"
    step heif-install cmake --install "$WORK/build/libheif"
    licences libheif "$WORK/src/libheif" COPYING
    # Only the two DLLs the program loads stay, stripped; dav1d's static
    # library and the build's leftovers go.
    local dll
    for dll in libheif.dll libde265.dll; do
        "$CROSS-strip" --strip-unneeded "$PREFIX/bin/$dll"
    done
    rm -f "$PREFIX/lib/libdav1d.a" "$PREFIX/lib/libde265.dll.a"
    rm -rf "$PREFIX/share/thumbnailers" "$PREFIX/include/dav1d"
}

build_googletest() {
    step gtest-configure cmake_configure googletest -DBUILD_SHARED_LIBS=OFF -DBUILD_GMOCK=ON \
        -Dgtest_disable_pthreads=ON
    step gtest-build cmake --build "$WORK/build/googletest" -j "$JOBS"
    step gtest-install cmake --install "$WORK/build/googletest"
    licences googletest "$WORK/src/googletest" LICENSE
}

# Builds tools/build/windows_deps_check.cpp against the prefix and runs it under
# Wine in a Wine prefix of our own, with a persistent wineserver while it runs.
run_check() {
    step check-build "$CROSS-g++-posix" -std=c++17 -O1 -Wall -Wextra -Werror -static -I"$PREFIX/include" \
        "$HERE/windows_deps_check.cpp" -o "$WORK/check.exe" \
        -L"$PREFIX/lib" -lgtest -lfreeimage -lpng16 -ljpeg -lz "$PREFIX/lib/libheif.dll.a"
    cp "$PREFIX/bin/libheif.dll" "$PREFIX/bin/libde265.dll" "$WORK/"
    local wine=/usr/lib/wine/wine64 server=/usr/lib/wine/wineserver64
    [ -x "$wine" ] || die "$wine is missing (package wine64)"
    [ -x "$server" ] || server=wineserver
    export WINEPREFIX=${ORVALE_WINEPREFIX:-$CACHE_ROOT/wineprefix-check} WINEARCH=win64 WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    unset DISPLAY
    mkdir -p "$WINEPREFIX"
    WINESERVER=$server
    step wineserver-start timeout 60 "$server" -p
    [ -f "$WINEPREFIX/system.reg" ] || step wineboot timeout 300 "$wine" wineboot -i
    step check-run env -C "$WORK" timeout 300 "$wine" "$WORK/check.exe"
    timeout 60 "$server" -k 9>&- || true
    WINESERVER=""
    grep -E '^\[  (PASSED|FAILED) ' "$WORK/logs/check-run.log" >&2 || true
}

# The Debian binary packages whose files go into the prefix or build it.
binary_versions() {
    local p
    for p in libz-mingw-w64-dev mingw-w64-x86-64-dev g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64; do
        printf 'binary %s %s\n' "$p" "$(dpkg-query -W -f='${Version}' "$p")"
    done
}

cleanup() {
    local status=$?
    [ -n "${WINESERVER:-}" ] && timeout 60 "$WINESERVER" -k >/dev/null 2>&1 9>&-
    [ -n "${WORK:-}" ] && rm -rf "$WORK"
    if [ $status != 0 ] && [ -n "${PREFIX:-}" ] && [ ! -f "$PREFIX/.complete" ]; then
        rm -rf "$PREFIX"
    fi
    exit $status
}

# --- main -------------------------------------------------------------------

CACHE_ROOT=${ORVALE_WIN_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/orvale-viewer-windows-deps}
mkdir -p "$CACHE_ROOT"
CACHE_ROOT=$(cd "$CACHE_ROOT" && pwd)
exec 9>"$CACHE_ROOT/.lock"   # steps close it, so a lingering child holds no lock
if ! flock -n 9; then
    log "waiting for another run to finish (lock $CACHE_ROOT/.lock)"
    flock -w 7200 9 || die "another run still holds $CACHE_ROOT/.lock"
fi

install_missing
ensure_sources

SIMD=OFF
command -v nasm >/dev/null 2>&1 && SIMD=ON
KEY=$( {
    cat "$HERE/windows_deps.sh" "$HERE/windows_deps_check.cpp" "$HERE/windows_deps_absent.cpp"
    for p in $SRC_PACKAGES; do echo "$p $(source_versions "$p" | cut -d' ' -f1)"; done
    binary_versions
    echo "simd $SIMD"
} | sha256sum | cut -c1-12)
PREFIX=$CACHE_ROOT/win64-$KEY

if [ -f "$PREFIX/.complete" ]; then
    log "up to date: $PREFIX"
    echo "$PREFIX" >&3
    exit 0
fi

trap cleanup EXIT
trap 'exit 130' INT TERM HUP
WORK=$(mktemp -d "${TMPDIR:-/tmp}/orvale-win-deps.XXXXXX")
mkdir -p "$WORK/src" "$WORK/build" "$WORK/logs"
rm -rf "$PREFIX"
mkdir -p "$PREFIX/include" "$PREFIX/lib" "$PREFIX/share/licenses"
log "building into $PREFIX (SIMD $SIMD)"
write_toolchain
for p in $SRC_PACKAGES; do fetch "$p"; done
binary_versions >>"$PREFIX/VERSIONS"
build_zlib
build_jpeg
build_png
build_freeimage
build_de265
build_dav1d
build_heif
build_googletest
run_check
cat >"$PREFIX/share/licenses/README" <<'EOF'
The Windows program contains freeimage, libjpeg-turbo, libpng1.6 and
libz-mingw-w64 (zlib), and, linked statically by the compiler, the MinGW-w64
runtime (mingw-w64: CRT and winpthreads) and GCC's runtime (gcc-mingw-w64:
libstdc++, libgcc). Beside it go libheif.dll (libheif, with dav1d inside)
and libde265.dll (libde265), each with its own copy of those runtimes.
googletest is linked into the test programs only.
Each folder holds Debian's copyright file of the package (debian-copyright)
and, for the source packages built here, the upstream licence files.
EOF
touch "$PREFIX/.complete"
log "done: $PREFIX"
echo "$PREFIX" >&3
