# The product version, set here and nowhere else: it reaches the version
# resource of every shipped program, the About box, the manifest, the
# installer package and the package's file name.
set(TAVIK_VERSION 1.4.0)

string(REPLACE "." ";" TAVIK_VERSION_PARTS ${TAVIK_VERSION})
list(GET TAVIK_VERSION_PARTS 0 TAVIK_VERSION_MAJOR)
list(GET TAVIK_VERSION_PARTS 1 TAVIK_VERSION_MINOR)
list(GET TAVIK_VERSION_PARTS 2 TAVIK_VERSION_PATCH)

set(TAVIK_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set(TAVIK_RESOURCE_DIR ${CMAKE_SOURCE_DIR}/src/app/resources)
configure_file(${TAVIK_RESOURCE_DIR}/tavik_version.h.in
               ${TAVIK_GENERATED_DIR}/tavik_version.h @ONLY)
configure_file(${TAVIK_RESOURCE_DIR}/tavik.manifest.in
               ${TAVIK_GENERATED_DIR}/tavik.manifest @ONLY)

enable_language(RC)

# Compiles the resource script RC (icon, version and whatever else it
# holds) into TARGET.
function(tavik_add_resources target rc)
  target_sources(${target} PRIVATE ${rc})
  target_include_directories(${target} PRIVATE ${TAVIK_GENERATED_DIR} ${TAVIK_RESOURCE_DIR})
  set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS
    ${TAVIK_GENERATED_DIR}/tavik_version.h ${TAVIK_RESOURCE_DIR}/version_info.rc
    ${TAVIK_RESOURCE_DIR}/tavik.ico)
endfunction()
