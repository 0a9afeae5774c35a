# calvera_version_resource(TARGET DESCRIPTION): gives the executable TARGET a VERSIONINFO
# resource with the product version CALVERA_VERSION as its file and product version, the
# product name "Calvera", the company "Tolvane" and DESCRIPTION as its file description.
# Windows builds only.
#
# CALVERA_VERSION is the project's version (project(Calvera VERSION ...)) unless a build sets
# another: package.sh builds packages of other versions from one build tree, and a new value
# reconfigures only the version resources, so only they and the links are built again.
set(CALVERA_VERSION_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/version.rc.in)
# (Not cached by default, so that a new project version reaches every build tree.)
if(NOT CALVERA_VERSION)
  set(CALVERA_VERSION ${PROJECT_VERSION})
endif()
if(NOT CALVERA_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
  message(FATAL_ERROR "CALVERA_VERSION '${CALVERA_VERSION}' is not MAJOR.MINOR.PATCH")
endif()
set(CALVERA_VERSION_MAJOR ${CMAKE_MATCH_1})
set(CALVERA_VERSION_MINOR ${CMAKE_MATCH_2})
set(CALVERA_VERSION_PATCH ${CMAKE_MATCH_3})

function(calvera_version_resource target description)
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  set(CALVERA_VERSION_NAME ${name})
  set(CALVERA_VERSION_DESCRIPTION "${description}")
  # VS_FF_DEBUG marks the builds that carry debug code (the presets are single-configuration).
  set(CALVERA_VERSION_FILEFLAGS 0)
  if(CMAKE_BUILD_TYPE STREQUAL "Debug")
    set(CALVERA_VERSION_FILEFLAGS VS_FF_DEBUG)
  endif()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${name}.version.rc)
  configure_file(${CALVERA_VERSION_TEMPLATE} ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
