# One version for everything we ship: the DLL's and the demo's version
# resources, the report server's --version and the release archives' names all
# read it from here (project() in the top CMakeLists.txt) and from the git
# revision the tree was built from.
set(VNSCOPE_VERSION ${PROJECT_VERSION})
set(VNSCOPE_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/vnscope_version.h.in
               ${VNSCOPE_GENERATED_DIR}/vnscope_version.h @ONLY)

# The revision changes with every commit, not with every configure: a step of
# every build writes it, touching the header only when it changed, so an
# unchanged tree relinks nothing.
set(VNSCOPE_REVISION_HEADER ${VNSCOPE_GENERATED_DIR}/vnscope_revision.h)
add_custom_target(vnscope_revision
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DVERSION=${PROJECT_VERSION} -DOUTPUT=${VNSCOPE_REVISION_HEADER}
          -P ${CMAKE_CURRENT_LIST_DIR}/write_revision.cmake
  BYPRODUCTS ${VNSCOPE_REVISION_HEADER}
  COMMENT "Recording the source revision"
  VERBATIM)

# Include directory of both headers, for C++ and for the resource compiler.
add_library(vnscope_version INTERFACE)
target_include_directories(vnscope_version INTERFACE ${VNSCOPE_GENERATED_DIR})
add_dependencies(vnscope_version vnscope_revision)
