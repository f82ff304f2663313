# Lays out what goes beside CalvoroRecord.exe for a user, the one layout that
# both the portable zip and the installer ship, and writes the installer's file
# lists from it. Run by the build (packaging/CMakeLists.txt) in script mode:
#   cmake -DEXE=... -DSTRIP=... -DDIST=... -DEXTRA=a;b -DSTAGE=... -DLISTS=... -P stage.cmake
# The encoders the tests use (tools/encoders) never come here.
foreach(var EXE STRIP DIST STAGE LISTS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "stage.cmake needs -D${var}=")
  endif()
endforeach()

file(REMOVE_RECURSE "${STAGE}")
file(MAKE_DIRECTORY "${STAGE}")

# The program, without its debugging information.
get_filename_component(exe_name "${EXE}" NAME)
execute_process(COMMAND "${STRIP}" --strip-all -o "${STAGE}/${exe_name}" "${EXE}" RESULT_VARIABLE stripped)
if(NOT stripped EQUAL 0)
  message(FATAL_ERROR "cannot strip ${EXE}")
endif()

# Every folder of dist/ (Language\, Image\, ...) and the extra files.
file(GLOB dist_entries LIST_DIRECTORIES true "${DIST}/*")
foreach(entry IN LISTS dist_entries)
  if(IS_DIRECTORY "${entry}")
    file(COPY "${entry}" DESTINATION "${STAGE}")
  endif()
endforeach()
foreach(extra IN LISTS EXTRA)
  file(COPY "${extra}" DESTINATION "${STAGE}")
endforeach()

# The installer installs exactly these files and the uninstaller removes
# exactly these, so that nothing else in the program folder (a recording a user
# saved there, encoders the user added) is deleted with it.
file(GLOB_RECURSE files RELATIVE "${STAGE}" "${STAGE}/*")
list(SORT files)
set(install_lines "")
set(uninstall_lines "")
set(folders "")
set(current_folder "-")
foreach(file IN LISTS files)
  get_filename_component(folder "${file}" DIRECTORY)
  string(REPLACE "/" "\\" win_folder "${folder}")
  string(REPLACE "/" "\\" win_file "${file}")
  if(NOT folder STREQUAL current_folder)
    if(folder STREQUAL "")
      string(APPEND install_lines "SetOutPath \"$INSTDIR\"\n")
    else()
      string(APPEND install_lines "SetOutPath \"$INSTDIR\\${win_folder}\"\n")
      list(APPEND folders "${win_folder}")
    endif()
    set(current_folder "${folder}")
  endif()
  string(APPEND install_lines "File \"${STAGE}/${file}\"\n")
  string(APPEND uninstall_lines "Delete \"$INSTDIR\\${win_file}\"\n")
endforeach()
# Deepest folders first; each goes only when it is empty.
list(REMOVE_DUPLICATES folders)
list(SORT folders)
list(REVERSE folders)
foreach(folder IN LISTS folders)
  string(APPEND uninstall_lines "RMDir \"$INSTDIR\\${folder}\"\n")
endforeach()
file(WRITE "${LISTS}/install_files.nsh" "${install_lines}")
file(WRITE "${LISTS}/uninstall_files.nsh" "${uninstall_lines}")
