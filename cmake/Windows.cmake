# The 32-bit Windows build: Win32 platform sources, the library's resources,
# and the link rules of NCCORE21.DLL and of the programs.
#
# Everything is linked statically (C and C++ runtimes, winpthreads), so the
# DLL and the programs need no mingw runtime DLLs beside them.

enable_language(RC)

find_program(NCCORE_ICONV iconv REQUIRED)
if(NOT CMAKE_DLLTOOL)
  find_program(CMAKE_DLLTOOL NAMES i686-w64-mingw32-dlltool dlltool REQUIRED)
endif()

# ---- libgcrypt ----------------------------------------------------------------
# The static mingw-w64 build (Debian's libgcrypt-mingw-w64-dev), linked into
# every module that links the primitives.
find_library(NCCORE_GCRYPT_STATIC NAMES libgcrypt.a REQUIRED)
find_library(NCCORE_GPG_ERROR_STATIC NAMES libgpg-error.a REQUIRED)
add_library(nccore_gcrypt INTERFACE IMPORTED)
set_target_properties(nccore_gcrypt PROPERTIES INTERFACE_LINK_LIBRARIES
                      "${NCCORE_GCRYPT_STATIC};${NCCORE_GPG_ERROR_STATIC};ws2_32;advapi32")
if(TARGET zq)
  target_link_libraries(zq PUBLIC nccore_gcrypt)
endif()

list(APPEND PLATFORM_SOURCES
     platform/win32/text_convert.cpp
     platform/win32/module.cpp
     platform/win32/files.cpp
     platform/win32/last_error.cpp
     platform/win32/ui_win32.cpp
     platform/win32/ui_console.cpp
     platform/win32/exception_guard.cpp
     platform/win32/string_table.cpp)

set(NCCORE_WIN32_LIBS user32 advapi32)
set(NCCORE_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

# ---- resources ---------------------------------------------------------------
# res/strings.txt -> a UTF-8 STRINGTABLE -> code page 1251, included by
# res/nccore21.rc under "#pragma code_page(1251)". iconv refuses a text the
# code page cannot hold, which stops the build instead of shipping '?'.
set(NCCORE_STRINGS_UTF8_RC ${GEN_DIR}/strings.utf8.rc)
set(NCCORE_STRINGS_RC ${GEN_DIR}/strings.1251.rc)
add_custom_command(
  OUTPUT ${NCCORE_STRINGS_UTF8_RC}
  COMMAND ${CMAKE_COMMAND} -DIN=${STRINGS_TXT} -DOUT=${NCCORE_STRINGS_UTF8_RC} -DFORM=rc
          -P ${CMAKE_SOURCE_DIR}/cmake/GenerateStrings.cmake
  DEPENDS ${STRINGS_TXT} ${CMAKE_SOURCE_DIR}/cmake/GenerateStrings.cmake
  COMMENT "string table (.rc, UTF-8)")
add_custom_command(
  OUTPUT ${NCCORE_STRINGS_RC}
  COMMAND ${NCCORE_ICONV} -f UTF-8 -t CP1251 -o ${NCCORE_STRINGS_RC}.tmp ${NCCORE_STRINGS_UTF8_RC}
  COMMAND ${CMAKE_COMMAND} -E rename ${NCCORE_STRINGS_RC}.tmp ${NCCORE_STRINGS_RC}
  DEPENDS ${NCCORE_STRINGS_UTF8_RC}
  VERBATIM
  COMMENT "string table (.rc, code page 1251)")

# The compiled resources, linked into every module that holds the library's
# code: NCCORE21.DLL, and programs linking the static library (the texts are
# loaded from the module containing the code).
add_library(nccore_resources OBJECT res/nccore21.rc)
target_include_directories(nccore_resources PRIVATE ${GEN_DIR})
# windres takes none of the compiler's warning options.
set_property(TARGET nccore_resources PROPERTY COMPILE_OPTIONS "")
set_source_files_properties(res/nccore21.rc PROPERTIES OBJECT_DEPENDS ${NCCORE_STRINGS_RC})

# ---- NCCORE21.DLL ------------------------------------------------------------
# Exports come from res/nccore21.def alone. Its entries carry the stdcall
# argument size (ZqGOSB@16); --kill-at exports them undecorated, and the
# import library is made from the same file by dlltool so that it keeps the
# decorated symbols the compiler emits for calls through nccore21.h.
function(nccore_windows_dll target)
  set(def ${CMAKE_SOURCE_DIR}/res/nccore21.def)
  target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/platform/win32/dll_main.cpp
                                   $<TARGET_OBJECTS:nccore_resources>)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME NCCORE21 PREFIX "" SUFFIX ".DLL"
                                             LINK_DEPENDS ${def})
  target_link_options(${target} PRIVATE ${NCCORE_STATIC_RUNTIME} ${def} -Wl,--kill-at)
  target_link_libraries(${target} PRIVATE ${NCCORE_WIN32_LIBS})
  add_custom_command(
    TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_DLLTOOL} --input-def ${def} --dllname NCCORE21.DLL --kill-at
            --output-lib $<TARGET_LINKER_FILE:${target}>
    VERBATIM)
endfunction()

# ---- programs ----------------------------------------------------------------
function(nccore_windows_exe target)
  target_link_options(${target} PRIVATE ${NCCORE_STATIC_RUNTIME})
  get_target_property(libraries ${target} LINK_LIBRARIES)
  if("nccore_static" IN_LIST libraries)
    target_sources(${target} PRIVATE $<TARGET_OBJECTS:nccore_resources>)
    target_link_libraries(${target} PRIVATE ${NCCORE_WIN32_LIBS})
  endif()
endfunction()
