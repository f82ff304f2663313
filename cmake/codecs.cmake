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

if(WIN32)
  # Windows: scripts/build-codecs.sh cross-builds the libraries from Debian's
  # source packages into this prefix, at configure time, when its stamp is
  # missing or was written by another version of the script or the toolchain
  # file. The first time takes a few minutes.
  set(CALVORO_CODECS_PREFIX ${CMAKE_SOURCE_DIR}/build/codecs/x86_64-w64-mingw32 CACHE PATH
      "Where scripts/build-codecs.sh puts the encoding libraries for Windows")
  set(codecs_script ${CMAKE_SOURCE_DIR}/scripts/build-codecs.sh)
  set(codecs_toolchain ${CMAKE_SOURCE_DIR}/cmake/toolchain-mingw64-posix.cmake)
  set(codecs_stamp ${CALVORO_CODECS_PREFIX}/build-codecs.stamp)
  file(SHA256 ${codecs_script} codecs_script_sum)
  file(SHA256 ${codecs_toolchain} codecs_toolchain_sum)
  set(codecs_built "")
  if(EXISTS ${codecs_stamp})
    file(READ ${codecs_stamp} codecs_built)
  endif()
  if(NOT codecs_built STREQUAL "${codecs_script_sum}\n${codecs_toolchain_sum}\n")
    message(STATUS "Building the encoding libraries into ${CALVORO_CODECS_PREFIX}")
    execute_process(COMMAND sh ${codecs_script} ${CALVORO_CODECS_PREFIX}
                    RESULT_VARIABLE codecs_result
                    OUTPUT_VARIABLE codecs_output ECHO_OUTPUT_VARIABLE
                    ERROR_VARIABLE codecs_errors)
    if(NOT codecs_result EQUAL 0)
      message(FATAL_ERROR "scripts/build-codecs.sh failed (${codecs_result}):\n${codecs_errors}")
    endif()
  endif()
  # A changed script or toolchain file configures again, and so builds again.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${codecs_script} ${codecs_toolchain} ${codecs_stamp})

  set(codecs_lib ${CALVORO_CODECS_PREFIX}/lib)
  # <opus.h> (as opusenc.h includes it) and <lame.h> resolve as with the
  # native packages' pkg-config flags.
  target_include_directories(calvoro_codecs SYSTEM INTERFACE ${CALVORO_CODECS_PREFIX}/include
                             ${CALVORO_CODECS_PREFIX}/include/opus ${CALVORO_CODECS_PREFIX}/include/lame)
  # libFLAC is static: its header must not declare its functions dllimport.
  target_compile_definitions(calvoro_codecs INTERFACE FLAC__NO_DLL)
  # Static libraries after those that use them; LAME through its DLL.
  target_link_libraries(calvoro_codecs INTERFACE
    ${codecs_lib}/libopusenc.a ${codecs_lib}/libopus.a
    ${codecs_lib}/libvorbisenc.a ${codecs_lib}/libvorbisfile.a ${codecs_lib}/libvorbis.a ${codecs_lib}/libogg.a
    ${codecs_lib}/libFLAC.a
    ${codecs_lib}/libmp3lame.dll.a)

  # What the packages ship beside CalvoroRecord.exe (packaging/).
  set(CALVORO_CODECS_DLL ${CALVORO_CODECS_PREFIX}/bin/libmp3lame-0.dll)
  set(CALVORO_CODECS_NOTICES ${CALVORO_CODECS_PREFIX}/share/Notices.txt)

  # Every program that links the libraries finds the DLL beside it in bin/:
  # copied now, and again by the build after a clean.
  set(codecs_bin_dll ${CMAKE_BINARY_DIR}/bin/libmp3lame-0.dll)
  file(COPY ${CALVORO_CODECS_DLL} DESTINATION ${CMAKE_BINARY_DIR}/bin)
  add_custom_command(OUTPUT ${codecs_bin_dll}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CALVORO_CODECS_DLL} ${codecs_bin_dll}
    DEPENDS ${CALVORO_CODECS_DLL}
    COMMENT "Copying libmp3lame-0.dll beside the programs"
    VERBATIM)
  add_custom_target(calvoro_codecs_dll ALL DEPENDS ${codecs_bin_dll})
  add_dependencies(calvoro_codecs calvoro_codecs_dll)
endif()
