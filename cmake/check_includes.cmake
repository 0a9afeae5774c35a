# Run by the build (cmake -DCONFIG=<file> -P check_includes.cmake) before a layer or an
# executable is compiled; CalveraLayers.cmake writes CONFIG. Fails, naming each file, line and
# include, when a file includes a header of a layer it may not use: a project include's folder
# (quoted, or in angle brackets and starting with a project folder) must be the file's own
# layer or one the layer uses, and only the real platform and the executables include the
# Windows SDK's headers. On success it touches STAMP.
cmake_minimum_required(VERSION 3.25)
include(${CONFIG})

# The SDK headers that only the real platform may include; the standard library's never match.
set(windows_header_pattern
    "^(windows|windef|winbase|winnt|winuser|winreg|winsvc|winternl|winerror|objbase|combaseapi|shellapi|shlobj|shlwapi|psapi|tlhelp32|ntstatus|ole2|powrprof|wtsapi32|userenv|aclapi|sddl|processthreadsapi|memoryapi|sysinfoapi|securitybaseapi)\\.h$")

# The project's own folders below the root: an include in angle brackets that starts with one of
# them is a project header too, and is checked like a quoted one.
file(GLOB project_folders LIST_DIRECTORIES true RELATIVE ${ROOT} ${ROOT}/*)

set(violations "")
foreach(file IN LISTS FILES)
  file(READ ${file} text)
  # One list element per line; brackets and semicolons would confuse the list.
  string(REPLACE ";" "," text "${text}")
  string(REPLACE "[" "(" text "${text}")
  string(REPLACE "]" ")" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  file(RELATIVE_PATH shown ${ROOT} ${file})
  set(number 0)
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    set(header "")
    if(line MATCHES "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\"")
      set(header ${CMAKE_MATCH_1})
    elseif(line MATCHES "^[ \t]*#[ \t]*include[ \t]*<([^>/]+)/([^>]+)>")
      if(CMAKE_MATCH_1 IN_LIST project_folders)
        set(header "${CMAKE_MATCH_1}/${CMAKE_MATCH_2}")
      endif()
    endif()
    if(NOT header STREQUAL "")
      get_filename_component(folder ${header} DIRECTORY)
      if(header MATCHES "(^|/)\\.\\.(/|$)")
        string(APPEND violations "\n  ${shown}:${number}: \"${header}\": climbs out of the layer; include it by its path below the root")
      elseif(NOT folder STREQUAL "" AND NOT folder IN_LIST ALLOWED)
        string(APPEND violations "\n  ${shown}:${number}: \"${header}\" belongs to a layer that ${DESCRIPTION} may not use")
      endif()
    elseif(NOT WINDOWS_HEADERS AND line MATCHES "^[ \t]*#[ \t]*include[ \t]*<([^>]+)>")
      set(header ${CMAKE_MATCH_1})
      string(TOLOWER "${header}" lower)
      if(lower MATCHES "${windows_header_pattern}")
        string(APPEND violations "\n  ${shown}:${number}: <${header}>: only the real platform (platform/win32) includes the Windows headers")
      endif()
    endif()
  endforeach()
endforeach()

if(violations)
  string(REPLACE ";" " " uses "${ALLOWED}")
  message(FATAL_ERROR "Layering broken: ${DESCRIPTION} may include only ${uses}.${violations}")
endif()
file(TOUCH ${STAMP})
