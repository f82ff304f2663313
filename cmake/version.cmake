# The program's version, kept in one place: the file VERSION at the top of the
# repository, "major.minor.patch.build". Everything that shows or stamps a
# version takes it from here: the executable's version resource (and through it
# the about box), the installer's version information, the Add/Remove Programs
# entry and the names of the zip and the installer.
file(STRINGS "${CMAKE_CURRENT_LIST_DIR}/../VERSION" CALVORO_VERSION LIMIT_COUNT 1)
string(STRIP "${CALVORO_VERSION}" CALVORO_VERSION)
if(NOT CALVORO_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
  message(FATAL_ERROR "VERSION must hold major.minor.patch.build, not '${CALVORO_VERSION}'")
endif()
set(CALVORO_VERSION_MAJOR ${CMAKE_MATCH_1})
set(CALVORO_VERSION_MINOR ${CMAKE_MATCH_2})
set(CALVORO_VERSION_PATCH ${CMAKE_MATCH_3})
set(CALVORO_VERSION_BUILD ${CMAKE_MATCH_4})
foreach(part MAJOR MINOR PATCH)
  if(CALVORO_VERSION_${part} GREATER 65535)
    message(FATAL_ERROR "VERSION: each of major, minor and patch must fit in 16 bits")
  endif()
endforeach()
# The numeric version of a Windows version resource has four 16-bit fields, and
# the resource compilers cut a larger number silently (110801 would show as
# 45265). The build number there is the real one when it fits and 0 otherwise;
# the text versions always hold the whole number.
if(CALVORO_VERSION_BUILD GREATER 65535)
  set(CALVORO_VERSION_BUILD_FIELD 0)
else()
  set(CALVORO_VERSION_BUILD_FIELD ${CALVORO_VERSION_BUILD})
endif()
set(CALVORO_VERSION_FIELDS
    "${CALVORO_VERSION_MAJOR}.${CALVORO_VERSION_MINOR}.${CALVORO_VERSION_PATCH}.${CALVORO_VERSION_BUILD_FIELD}")
