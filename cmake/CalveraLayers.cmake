# The layers of the code and the executables that join them.
#
# A layer is one folder and one static library, calvera_<name>, built from the folder's *.cpp.
# It names the layers it may use; it links exactly those, and before it is compiled the build
# checks that no file of the folder includes a header of any other layer (check_includes.cmake),
# so a lower layer that reaches for a higher one fails to build. Headers are included by their
# path below the layer's root ("platform/registry.h"); a bare name is a header of the same
# folder.
#
#   calvera_layer(<name> [FOLDER <dir>] [ROOT <dir>] [USES <layer>...] [LINK <library>...]
#                 [RESOURCES <file.rc>...] [MESSAGES <file.mc>...] [WINDOWS_HEADERS])
#     FOLDER     the folder below ROOT; <name> by default
#     ROOT       the include root; the project's src/ by default
#     USES       the layers whose headers it includes and whose libraries it links
#     LINK       further libraries, such as the system libraries of the real platform
#     RESOURCES  resource scripts: the OBJECT library calvera_<name>_resources, which an
#                executable links by name (a static library would drop objects that no code
#                refers to)
#     MESSAGES   event log message files: each becomes a message table (windmc, then windres)
#                in the same OBJECT library, in U.S. English and in the neutral language, so
#                that Event Viewer and FormatMessage find the texts whatever language they ask
#                for (windmc itself refuses the neutral language)
#     WINDOWS_HEADERS  the folder may include <windows.h> and the other SDK headers
#
#   calvera_program(<name> SOURCES <file>... USES <layer>... [RESOURCES <target>...]
#                   [DESCRIPTION <text>] [CONSOLE])
#     A Windows executable <name>.exe in build/<preset>/bin from a composition root of its own;
#     its sources may include the layers it uses and the SDK headers. DESCRIPTION: a version
#     resource with the project's version and this file description (VersionResource.cmake).
#     CONSOLE: a console program instead of a windowless one.

include(${CMAKE_CURRENT_LIST_DIR}/VersionResource.cmake)

set(CALVERA_CHECK_INCLUDES ${CMAKE_CURRENT_LIST_DIR}/check_includes.cmake)
set(CALVERA_MESSAGE_TABLE_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/message_table.rc.in)
if(WIN32)
  # mingw's message compiler sits beside its resource compiler.
  string(REGEX REPLACE "windres(\\.exe)?$" "windmc" CALVERA_WINDMC "${CMAKE_RC_COMPILER}")
endif()

# The resource scripts of the message tables of `messages` (.mc files of `dir`), built into
# the current binary folder; their names go to `out`. Every message file names its one
# language English=0x409:MSG00409, so windmc writes MSG00409.bin.
function(_calvera_message_tables out dir)
  set(scripts)
  foreach(mc IN LISTS ARGN)
    get_filename_component(stem ${mc} NAME_WE)
    set(folder ${CMAKE_CURRENT_BINARY_DIR}/${stem})
    set(CALVERA_MESSAGE_BIN ${folder}/MSG00409.bin)
    set(CALVERA_MESSAGE_SOURCE ${mc})
    add_custom_command(OUTPUT ${CALVERA_MESSAGE_BIN}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}/windmc
      # -U: the messages as UTF-16; windmc's own header and script are not used.
      COMMAND ${CALVERA_WINDMC} -U -h ${folder}/windmc -r ${folder}/windmc ${dir}/${mc}
      COMMAND ${CMAKE_COMMAND} -E copy ${folder}/windmc/MSG00409.bin ${CALVERA_MESSAGE_BIN}
      DEPENDS ${dir}/${mc}
      COMMENT "Compiling the message table of ${mc}"
      VERBATIM)
    set(script ${folder}/${stem}_table.rc)
    configure_file(${CALVERA_MESSAGE_TABLE_TEMPLATE} ${script} @ONLY)
    set_source_files_properties(${script} PROPERTIES OBJECT_DEPENDS ${CALVERA_MESSAGE_BIN})
    list(APPEND scripts ${script})
  endforeach()
  set(${out} ${scripts} PARENT_SCOPE)
endfunction()

# The include folders that `layers` and the layer itself stand for, for the include check.
function(_calvera_allowed_folders out own)
  set(folders ${own})
  foreach(layer IN LISTS ARGN)
    get_property(folder GLOBAL PROPERTY CALVERA_LAYER_FOLDER_${layer})
    if(NOT folder)
      message(FATAL_ERROR "unknown layer '${layer}': a layer may use only layers defined before it")
    endif()
    list(APPEND folders ${folder})
  endforeach()
  set(${out} ${folders} PARENT_SCOPE)
endfunction()

# A build step of `target` that checks the includes of `files` and stops the build on the
# first file that breaks the layering.
function(_calvera_check_includes target description root files allowed windows_headers)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}_includes.checked)
  set(config ${CMAKE_CURRENT_BINARY_DIR}/${target}_includes.cmake)
  file(CONFIGURE OUTPUT ${config} CONTENT [[
set(DESCRIPTION "@description@")
set(ROOT "@root@")
set(FILES "@files@")
set(ALLOWED "@allowed@")
set(WINDOWS_HEADERS @windows_headers@)
set(STAMP "@stamp@")
]] @ONLY)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DCONFIG=${config} -P ${CALVERA_CHECK_INCLUDES}
    DEPENDS ${files} ${config} ${CALVERA_CHECK_INCLUDES}
    COMMENT "Checking the includes of ${description}"
    VERBATIM)
  add_custom_target(${target}_includes DEPENDS ${stamp})
  add_dependencies(${target} ${target}_includes)
endfunction()

function(calvera_layer name)
  cmake_parse_arguments(PARSE_ARGV 1 LAYER "WINDOWS_HEADERS" "FOLDER;ROOT"
                        "USES;LINK;RESOURCES;MESSAGES")
  if(NOT LAYER_FOLDER)
    set(LAYER_FOLDER ${name})
  endif()
  if(NOT LAYER_ROOT)
    set(LAYER_ROOT ${PROJECT_SOURCE_DIR}/src)
  endif()
  set(dir ${LAYER_ROOT}/${LAYER_FOLDER})
  set_property(GLOBAL PROPERTY CALVERA_LAYER_FOLDER_${name} ${LAYER_FOLDER})

  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  file(GLOB headers CONFIGURE_DEPENDS ${dir}/*.h)
  set(target calvera_${name})
  add_library(${target} STATIC ${sources} ${headers})
  target_include_directories(${target} PUBLIC ${LAYER_ROOT})
  target_compile_options(${target} PRIVATE ${CALVERA_WARNINGS})
  foreach(layer IN LISTS LAYER_USES)
    target_link_libraries(${target} PUBLIC calvera_${layer})
  endforeach()
  target_link_libraries(${target} PUBLIC ${LAYER_LINK})

  _calvera_allowed_folders(allowed ${LAYER_FOLDER} ${LAYER_USES})
  _calvera_check_includes(${target} "the ${name} layer" ${LAYER_ROOT} "${sources};${headers}"
                          "${allowed}" ${LAYER_WINDOWS_HEADERS})

  if((LAYER_RESOURCES OR LAYER_MESSAGES) AND WIN32)
    list(TRANSFORM LAYER_RESOURCES PREPEND ${dir}/)
    _calvera_message_tables(message_tables ${dir} ${LAYER_MESSAGES})
    add_library(${target}_resources OBJECT ${LAYER_RESOURCES} ${message_tables})
  endif()
endfunction()

function(calvera_program name)
  cmake_parse_arguments(PARSE_ARGV 1 PROGRAM "CONSOLE" "DESCRIPTION" "SOURCES;USES;RESOURCES")
  if(PROGRAM_CONSOLE)
    add_executable(${name} ${PROGRAM_SOURCES})
  else()
    add_executable(${name} WIN32 ${PROGRAM_SOURCES})
  endif()
  target_compile_options(${name} PRIVATE ${CALVERA_WARNINGS})
  # A release build carries no symbols: they would only weigh on the loaded image.
  target_link_options(${name} PRIVATE -municode $<$<CONFIG:Release>:-s>)
  foreach(layer IN LISTS PROGRAM_USES)
    target_link_libraries(${name} PRIVATE calvera_${layer})
  endforeach()
  target_link_libraries(${name} PRIVATE ${PROGRAM_RESOURCES})
  if(PROGRAM_DESCRIPTION)
    calvera_version_resource(${name} "${PROGRAM_DESCRIPTION}")
  endif()

  list(FILTER PROGRAM_SOURCES INCLUDE REGEX "\\.(cpp|h)$")
  list(TRANSFORM PROGRAM_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
  _calvera_allowed_folders(allowed ${folder} ${PROGRAM_USES})
  _calvera_check_includes(${name} "${name}.exe" ${PROJECT_SOURCE_DIR}/src "${PROGRAM_SOURCES}"
                          "${allowed}" TRUE)
endfunction()
