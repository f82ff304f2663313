# The encoding libraries the recorder encodes with: LAME (MP3), libogg and
# libvorbis (OGG), libFLAC (FLAC), libopus with libopusenc (Opus).
#
# calvoro_codecs is an INTERFACE target that carries their include
# directories, definitions and libraries.
#  - native: Debian's -dev packages, found with pkg-config;
#  - Windows: built from Debian's source packages (see the Windows part below).
add_library(calvoro_codecs INTERFACE)

if(NOT WIN32)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(CALVORO_CODEC_LIBS REQUIRED IMPORTED_TARGET
                    lame vorbisenc vorbisfile vorbis ogg flac libopusenc opus)
  target_link_libraries(calvoro_codecs INTERFACE PkgConfig::CALVORO_CODEC_LIBS)
endif()
