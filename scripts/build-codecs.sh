#!/bin/sh
# Builds the encoding libraries of the Windows build from Debian's source
# packages, cross-compiled with mingw-w64 (the POSIX-threads compilers of
# cmake/toolchain-mingw64-posix.cmake):
#
#   scripts/build-codecs.sh [<prefix>]    (default: build/codecs/x86_64-w64-mingw32)
#
#   lame        3.100   bin/libmp3lame-0.dll + lib/libmp3lame.dll.a  (LGPL: a DLL
#                       that a user can replace; it keeps its MP3 decoder)
#   libogg      1.3.5   lib/libogg.a
#   libvorbis   1.3.7   lib/libvorbis.a, libvorbisenc.a, libvorbisfile.a
#   flac        1.4.2   lib/libFLAC.a (the C library, without Ogg FLAC)
#   opus        1.3.1   lib/libopus.a
#   libopusenc  0.2.1   lib/libopusenc.a
#
# plus the headers under include/ and share/Notices.txt: each library's name,
# version and licence with the licence's full text from its source.
#
# `apt-get source` fetches the sources, with Debian's patches applied, into
# build/codecs/src (once: an unpacked source is used again); it needs a deb-src
# entry, which scripts/install-deps.sh adds. No root is needed here.
#
# Each library is built by its own build system with its own release flags:
# CMake for libogg, libvorbis and flac; configure for opus, libopusenc and lame.
# The prefix is complete when its stamp holds the checksums of this script
# and of the toolchain file (cmake/codecs.cmake compares them too); otherwise
# everything is built again from scratch. A lock keeps two builds (two build
# trees configured at once) from writing the same prefix.
set -eu

me=build-codecs.sh
top=$(cd "$(dirname "$0")/.." && pwd)
host=x86_64-w64-mingw32
toolchain=$top/cmake/toolchain-mingw64-posix.cmake
codecs=$top/build/codecs
src=$codecs/src
prefix=${1:-$codecs/$host}
case $prefix in
  /*) ;;
  *) prefix=$(pwd)/$prefix ;;
esac
work=$prefix.work
stamp=$prefix/build-codecs.stamp
jobs=$(nproc 2>/dev/null || echo 2)

fail() {
  echo "$me: $*" >&2
  exit 1
}

# The stamp's contents: what the prefix was built by.
expected_stamp() {
  sha256sum "$top/scripts/$me" | cut -d' ' -f1
  sha256sum "$toolchain" | cut -d' ' -f1
}

up_to_date() {
  [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$(expected_stamp)" ]
}

for tool in apt-get dpkg-source dpkg-parsechangelog cmake make pkg-config flock sha256sum \
  $host-gcc-posix $host-objdump $host-nm; do
  command -v "$tool" > /dev/null ||
    fail "$tool is missing; scripts/install-deps.sh installs what the build needs (as root)"
done

mkdir -p "$codecs" "$src"
exec 9> "$codecs/.lock"
flock 9
if up_to_date; then
  echo "$me: $prefix is up to date"
  exit 0
fi

echo "$me: building the encoding libraries into $prefix (a few minutes)"
start=$(date +%s)
# Only a folder this script made (its marker) or an empty one is emptied.
if [ -d "$prefix" ] && [ ! -f "$prefix/.build-codecs" ] && [ -n "$(ls -A "$prefix")" ]; then
  fail "$prefix holds files that this script did not make; give another prefix or remove it"
fi
rm -rf "$prefix" "$work"
mkdir -p "$prefix" "$work"
: > "$prefix/.build-codecs"

# run <log> <command>...: runs a step with its output in <log>; a failing step
# stops the build with the end of its log.
run() {
  log=$1
  shift
  if ! "$@" >> "$log" 2>&1; then
    echo "$me: failed: $*" >&2
    echo "---- the end of $log:" >&2
    tail -n 40 "$log" >&2
    fail "the build stopped; the full log is $log"
  fi
}

# fetch <source package> <upstream version>: unpacks the package's source with
# Debian's patches as $src/<package>-<version>. The version is the one this
# script's options were written for; another one stops the build.
fetch() {
  dir=$src/$1-$2
  [ -d "$dir" ] && return 0
  tmp=$src/.fetch-$1
  rm -rf "$tmp"
  mkdir -p "$tmp"
  echo "$me: fetching the source package $1"
  if ! (cd "$tmp" && apt-get source -q "$1") > "$tmp.log" 2>&1; then
    cat "$tmp.log" >&2
    fail "apt-get source $1 failed. It needs dpkg-dev and a deb-src entry for the Debian archive" \
      "(scripts/install-deps.sh, run as root, adds one and runs apt-get update)."
  fi
  if [ ! -d "$tmp/$1-$2" ]; then
    fail "apt-get source $1 gave $(cd "$tmp" && ls -d "$1"-*/ 2> /dev/null | tr -d /)," \
      "not version $2 that this script builds; update the versions and the options here"
  fi
  mv "$tmp/$1-$2" "$dir"
  rm -rf "$tmp" "$tmp.log"
}

fetch lame 3.100
fetch libogg 1.3.5
fetch libvorbis 1.3.7
fetch flac 1.4.2+ds
fetch opus 1.3.1
fetch libopusenc 0.2.1

# pkg-config and CMake see only what is built here, never the build machine's
# own libraries.
export PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig"
export PKG_CONFIG_PATH=
cat > "$work/toolchain.cmake" << EOF
include("$toolchain")
list(APPEND CMAKE_FIND_ROOT_PATH "$prefix")
EOF

# cmake_lib <name> <source> [--target <target>] <cmake options>...: configures,
# builds (all, or the one target) and installs a static library.
cmake_lib() {
  name=$1
  dir=$2
  shift 2
  target=
  if [ "${1:-}" = --target ]; then
    target="--target $2"
    shift 2
  fi
  echo "$me: $name"
  log=$work/$name.log
  began=$(date +%s)
  run "$log" cmake -S "$dir" -B "$work/$name" -G "Unix Makefiles" -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF "$@"
  # shellcheck disable=SC2086
  run "$log" cmake --build "$work/$name" -j"$jobs" $target
  run "$log" cmake --install "$work/$name"
  echo "$me: $name: $(($(date +%s) - began)) s"
}

# configure_lib <name> <source> <configure options>...: an out-of-tree
# configure, make and install; the source tree stays as unpacked. $make_var,
# when set, is one variable assignment for make.
make_var=
configure_lib() {
  name=$1
  dir=$2
  shift 2
  echo "$me: $name"
  log=$work/$name.log
  began=$(date +%s)
  mkdir -p "$work/$name"
  run "$log" sh -c 'cd "$1" && shift && "$@"' sh "$work/$name" "$dir/configure" --host=$host \
    CC=$host-gcc-posix --prefix="$prefix" --disable-dependency-tracking "$@"
  run "$log" make -C "$work/$name" -j"$jobs" ${make_var:+"$make_var"}
  run "$log" make -C "$work/$name" install-strip ${make_var:+"$make_var"}
  echo "$me: $name: $(($(date +%s) - began)) s"
}

cmake_lib libogg "$src/libogg-1.3.5" -DINSTALL_DOCS=OFF
cmake_lib libvorbis "$src/libvorbis-1.3.7"
# The C library alone: no FLAC++, programs, examples, tests, documents or
# Ogg FLAC. Stack protection and _FORTIFY_SOURCE would need MinGW's libssp.
cmake_lib flac "$src/flac-1.4.2+ds" --target FLAC -DBUILD_CXXLIBS=OFF -DBUILD_PROGRAMS=OFF \
  -DBUILD_EXAMPLES=OFF -DBUILD_DOCS=OFF -DINSTALL_MANPAGES=OFF -DWITH_OGG=OFF \
  -DWITH_STACK_PROTECTOR=OFF -DWITH_FORTIFY_SOURCE=OFF
# configure: opus 1.3.1's source lacks a file its CMake build includes. Its
# SSE4.1 and AVX code is chosen at run time; x86-64 always has SSE2. Neither
# stack protection nor _FORTIFY_SOURCE, which its configure adds when not set
# and which with MinGW calls libssp's __memcpy_chk.
configure_lib opus "$src/opus-1.3.1" --disable-shared --enable-static --disable-doc \
  --disable-extra-programs --disable-maintainer-mode --disable-stack-protector CPPFLAGS=-D_FORTIFY_SOURCE=0
configure_lib libopusenc "$src/libopusenc-0.2.1" --disable-shared --enable-static \
  --disable-examples --disable-doc --disable-maintainer-mode
# lame: a DLL that needs nothing but Windows' own, with libgcc linked in (in
# CC: libtool would drop the flag from LDFLAGS). The decoder (hip_decode*)
# stays in.
#  - CFLAGS: what its configure means to choose for gcc, which it never does:
#    its check of gcc's version matches no version, and then it adds no
#    optimization at all.
#  - Its export list names lame_init_old, which is static in lame.c; the
#    MinGW linker refuses to export a symbol that is not there, so the DLL is
#    linked with the list without it.
grep -v '^lame_init_old$' "$src/lame-3.100/include/libmp3lame.sym" > "$work/libmp3lame.sym"
make_var="libmp3lame_la_LDFLAGS=-version-info 0:0 -export-symbols $work/libmp3lame.sym -no-undefined"
configure_lib lame "$src/lame-3.100" CC="$host-gcc-posix -static-libgcc" CFLAGS="-O3 -ffast-math -funroll-loops" \
  --enable-shared --disable-static --disable-frontend --enable-decoder
make_var=

dll=$prefix/bin/libmp3lame-0.dll
[ -f "$dll" ] || fail "lame's build made no $dll"
[ -f "$prefix/lib/libmp3lame.dll.a" ] || fail "lame's build made no import library lib/libmp3lame.dll.a"
imports=$($host-objdump -p "$dll" | sed -n 's/^[[:space:]]*DLL Name: //p')
for import in $imports; do
  case $(echo "$import" | tr '[:upper:]' '[:lower:]') in
    kernel32.dll | msvcrt.dll | user32.dll | advapi32.dll | api-ms-win-*) ;;
    *) fail "$dll imports $import, which Windows does not have (imports: $(echo "$imports" | tr '\n' ' '))" ;;
  esac
done
$host-objdump -p "$dll" | grep -q '[[:space:]]hip_decode1_headers$' ||
  fail "$dll exports no MP3 decoder (hip_decode1_headers)"
for lib in opusenc opus vorbisenc vorbisfile vorbis ogg FLAC; do
  [ -f "$prefix/lib/lib$lib.a" ] || fail "no $prefix/lib/lib$lib.a after the build"
  # Nothing may need libssp (stack protection, _FORTIFY_SOURCE).
  ssp=$($host-nm "$prefix/lib/lib$lib.a" | sed -n 's/^ *U \(__[a-z_]*_chk\|__stack_chk_[a-z]*\)$/\1/p' | sort -u)
  [ -z "$ssp" ] || fail "lib$lib.a needs libssp: $(echo "$ssp" | tr '\n' ' ')"
done

# The notices that ship beside the program, with Windows line ends.
notice() {  # <name> <parts> <source folder> <source package> <licence name> <licence file>
  cat << EOF

==============================================================================
$1 $(echo "$3" | sed 's/.*-//; s/+ds$//')${2:+ ($2)}
Built from the Debian source package $4, version $(dpkg-parsechangelog -l "$src/$3/debian/changelog" -S Version).
Licence: $5
==============================================================================

EOF
  cat "$src/$3/$6"
}
mkdir -p "$prefix/share"
{
  cat << EOF
Calvoro Record encodes MP3, OGG, FLAC and Opus with the libraries below. Each
is named with its version, the Debian source package it was built from and
its licence, followed by the licence's full text.

LAME's library is libmp3lame-0.dll in the program's folder, under the GNU
Library General Public License (LGPL) version 2, or later: it may be
replaced by another build of LAME's library with the same interface. Its
source, as built here, is the Debian source package named below; for three
years from this release the publisher sends a copy of that source to anyone
who asks at the support address in the program's about box. The other
libraries are linked into CalvoroRecord.exe.
EOF
  notice LAME "libmp3lame-0.dll" lame-3.100 lame \
    "GNU Library General Public License, version 2 or later (LGPL)" COPYING
  notice libogg "" libogg-1.3.5 libogg "BSD-style licence (Xiph.Org)" COPYING
  notice libvorbis "libvorbis, libvorbisenc, libvorbisfile" libvorbis-1.3.7 libvorbis \
    "BSD-style licence (Xiph.Org)" COPYING
  notice libFLAC "" flac-1.4.2+ds flac "BSD-style licence (Xiph.Org)" COPYING.Xiph
  notice libopus "" opus-1.3.1 opus "BSD-style licence" COPYING
  notice libopusenc "" libopusenc-0.2.1 libopusenc "BSD-style licence" COPYING
} | sed 's/$/\r/' > "$prefix/share/Notices.txt"

# What the libraries' installs bring that nothing here uses.
rm -rf "$prefix/share/doc" "$prefix/share/man" "$prefix/lib/"*.la
rm -rf "$work"
expected_stamp > "$stamp"
echo "$me: done in $(($(date +%s) - start)) s"
