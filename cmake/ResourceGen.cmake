# The pictures of the Windows resources (the six clips of the progress
# window, the carrier dialog's bitmap), drawn at build time by
# tools/resgen/make_media.cpp, compiled with the build machine's own C++
# compiler (the cross-compiler's programs would not run here). Sets
# NCCORE_MEDIA_RC, the generated .rc that names them, and NCCORE_MEDIA_FILES.
find_program(NCCORE_HOST_CXX NAMES g++ c++ clang++ NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(NCCORE_MEDIA_DIR ${GEN_DIR}/media)
set(NCCORE_MAKE_MEDIA ${CMAKE_BINARY_DIR}/host/make_media)
set(NCCORE_MEDIA_IDS 110 136 137 138 139 142)
set(NCCORE_MEDIA_FILES ${NCCORE_MEDIA_DIR}/bitmap105.bmp)
set(media_rc "105 BITMAP \"${NCCORE_MEDIA_DIR}/bitmap105.bmp\"\n")
foreach(id IN LISTS NCCORE_MEDIA_IDS)
  list(APPEND NCCORE_MEDIA_FILES ${NCCORE_MEDIA_DIR}/clip${id}.avi)
  string(APPEND media_rc "${id} AVI \"${NCCORE_MEDIA_DIR}/clip${id}.avi\"\n")
endforeach()
set(NCCORE_MEDIA_RC ${GEN_DIR}/media.rc)
file(CONFIGURE OUTPUT ${NCCORE_MEDIA_RC} CONTENT "${media_rc}" @ONLY)

add_custom_command(
  OUTPUT ${NCCORE_MAKE_MEDIA}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host
  COMMAND ${NCCORE_HOST_CXX} -std=c++20 -O1 -Wall -Wextra -o ${NCCORE_MAKE_MEDIA}
          ${CMAKE_SOURCE_DIR}/tools/resgen/make_media.cpp
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/resgen/make_media.cpp
  COMMENT "make_media (for the build machine)"
  VERBATIM)
add_custom_command(
  OUTPUT ${NCCORE_MEDIA_FILES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${NCCORE_MEDIA_DIR}
  COMMAND ${NCCORE_MAKE_MEDIA} ${NCCORE_MEDIA_DIR}
  # Re-read what was written: a broken clip stops the build here.
  COMMAND ${NCCORE_MAKE_MEDIA} --check ${NCCORE_MEDIA_DIR}
  DEPENDS ${NCCORE_MAKE_MEDIA}
  COMMENT "the clips and the bitmap"
  VERBATIM)
list(APPEND NCCORE_MEDIA_FILES ${NCCORE_MEDIA_RC})
