# Writes OUTPUT with the release VERSION and the git revision of SOURCE_DIR ("unknown" outside a git
# checkout, "-modified" appended when tracked files differ from it). The file
# is rewritten only when its text changes, so that nothing depending on it
# rebuilds for nothing.
set(revision unknown)
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-parse --short=12 HEAD
                  OUTPUT_VARIABLE head RESULT_VARIABLE head_failed
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT head_failed AND head)
    set(revision ${head})
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} diff-index --quiet HEAD --
                    RESULT_VARIABLE modified OUTPUT_QUIET ERROR_QUIET)
    if(modified)
      string(APPEND revision "-modified")
    endif()
  endif()
endif()
# The product version as Windows shows it in the file's properties: the release
# and the revision in one string (the resource compiler joins no literals).
set(text "/* Written at build time by cmake/write_revision.cmake. */
#define VNSCOPE_REVISION \"${revision}\"
#define VNSCOPE_PRODUCT_VERSION \"${VERSION} (${revision})\"
")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} previous)
endif()
if(NOT previous STREQUAL text)
  file(WRITE ${OUTPUT} "${text}")
endif()
