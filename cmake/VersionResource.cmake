# calvera_version_resource(TARGET DESCRIPTION): gives the executable TARGET a VERSIONINFO
# resource with the project's version (project(Calvera VERSION ...)) as its file and product
# version, the product name "Calvera", the company "Tolvane" and DESCRIPTION as its file
# description. Windows builds only.
set(CALVERA_VERSION_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/version.rc.in)

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
