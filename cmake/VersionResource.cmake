# calvera_version_resource(TARGET DESCRIPTION): gives TARGET a VERSIONINFO resource with the
# project's version, the product name "Calvera", the company "Tolvane" and DESCRIPTION as its
# file description. Windows builds only; the version comes from project(Calvera VERSION ...).
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
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
