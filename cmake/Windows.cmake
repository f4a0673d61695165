# The Windows builds: Win32 platform sources, the library's resources, and
# the link rules of the DLLs (NCCORE21.DLL and the primitives' companion DLLs
# it imports) and of the programs. The 32-bit build (i686) is the one shipped;
# the 64-bit build (x86_64) is the same sources, made to run the tests under
# wine64.
#
# Everything is linked statically (C and C++ runtimes, winpthreads), so the
# DLLs and the programs need no mingw runtime DLLs beside them.

enable_language(RC)

find_program(NCCORE_ICONV iconv REQUIRED)
if(NOT CMAKE_DLLTOOL)
  find_program(CMAKE_DLLTOOL NAMES ${NCCORE_MINGW_TRIPLE}-dlltool dlltool REQUIRED)
endif()
# Only 32-bit x86 decorates stdcall names (_ZqGOSB@16); on x86_64 there is
# one calling convention and a symbol is its plain name.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(NCCORE_STDCALL_DECORATED ON)
else()
  set(NCCORE_STDCALL_DECORATED OFF)
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
     platform/win32/startup.cpp
     platform/win32/modeless_dialog.cpp
     platform/win32/progress_dialog.cpp
     platform/win32/generator_dialog.cpp
     platform/win32/carrier_dialog.cpp
     platform/win32/ui_console.cpp
     platform/win32/status_line.cpp
     platform/win32/termination.cpp
     platform/win32/progress_wait.cpp
     platform/win32/exception_guard.cpp
     platform/win32/string_table.cpp
     platform/win32/settings_registry.cpp
     platform/win32/named_mutex.cpp
     platform/win32/profile.cpp
     platform/win32/dynamic_library.cpp
     platform/win32/serial_port.cpp
     platform/win32/preset_password_fd.cpp)

set(NCCORE_WIN32_LIBS user32 gdi32 comctl32 advapi32)
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
# nccore_rc_1251(<utf-8 .rc> <out>): the same resource text in code page 1251.
function(nccore_rc_1251 in out)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${NCCORE_ICONV} -f UTF-8 -t CP1251 -o ${out}.tmp ${in}
    COMMAND ${CMAKE_COMMAND} -E rename ${out}.tmp ${out}
    DEPENDS ${in}
    VERBATIM
    COMMENT "${out} (code page 1251)")
endfunction()
nccore_rc_1251(${NCCORE_STRINGS_UTF8_RC} ${NCCORE_STRINGS_RC})
# The dialog templates, and the help templates of the operations.
set(NCCORE_DIALOGS_RC ${GEN_DIR}/dialogs.1251.rc)
nccore_rc_1251(${CMAKE_SOURCE_DIR}/res/dialogs.rc ${NCCORE_DIALOGS_RC})
set(NCCORE_HELP_RC ${GEN_DIR}/help_dialogs.1251.rc)
nccore_rc_1251(${CMAKE_SOURCE_DIR}/res/help_dialogs.rc ${NCCORE_HELP_RC})
# The clips and the bitmap.
include(${CMAKE_CURRENT_LIST_DIR}/ResourceGen.cmake)

# The compiled resources, linked into every module that holds the library's
# code: NCCORE21.DLL, and programs linking the static library (the texts are
# loaded from the module containing the code).
add_library(nccore_resources OBJECT res/nccore21.rc)
target_include_directories(nccore_resources PRIVATE ${GEN_DIR})
# windres takes none of the compiler's warning options.
set_property(TARGET nccore_resources PROPERTY COMPILE_OPTIONS "")
set_source_files_properties(res/nccore21.rc PROPERTIES OBJECT_DEPENDS
                            "${NCCORE_STRINGS_RC};${NCCORE_DIALOGS_RC};${NCCORE_HELP_RC};${NCCORE_MEDIA_FILES}")

# ---- DLLs --------------------------------------------------------------------
# A DLL's file name and exports come from its .def file alone (res/*.def).
# Its entries carry the stdcall argument size (ZqGOSB@16); --kill-at exports
# them undecorated, and the import library is made from the same file by
# dlltool so that it keeps the decorated symbols the compiler emits for calls
# through the headers (nccore21.h, zq/zq.h).

# nccore_read_def(<def> <dll-var> <exports-var>): the file name on the LIBRARY
# line and the EXPORTS entries as written (NAME@size). Changing a .def file
# reconfigures.
function(nccore_read_def def dll_var exports_var)
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def})
  file(READ ${def} text)
  string(REGEX REPLACE ";[^\n]*" "" text "${text}")
  if(NOT text MATCHES "LIBRARY[ \t]+([^ \t\r\n]+)")
    message(FATAL_ERROR "${def}: no LIBRARY line")
  endif()
  set(${dll_var} ${CMAKE_MATCH_1} PARENT_SCOPE)
  string(REGEX REPLACE "^.*EXPORTS" "" text "${text}")
  string(REGEX MATCHALL "[^ \t\r\n]+" exports "${text}")
  set(${exports_var} ${exports} PARENT_SCOPE)
endfunction()

# nccore_def_for_link(<def> <out-var>): the .def file the linker and dlltool
# are given. The 32-bit build takes res/*.def as written; the 64-bit build a
# copy without the "@size" suffixes, which name no symbol there.
function(nccore_def_for_link def out_var)
  if(NCCORE_STDCALL_DECORATED)
    set(${out_var} ${def} PARENT_SCOPE)
    return()
  endif()
  get_filename_component(name ${def} NAME)
  set(out ${GEN_DIR}/def64/${name})
  file(READ ${def} text)
  string(REGEX REPLACE "@[0-9]+" "" text "${text}")
  file(CONFIGURE OUTPUT ${out} CONTENT "${text}" @ONLY)
  set(${out_var} ${out} PARENT_SCOPE)
endfunction()

# nccore_link_dll(<target> <def>): links <target> as the DLL <def> describes,
# with the mingw runtime linked statically.
function(nccore_link_dll target def)
  nccore_read_def(${def} dll exports)
  if(NOT dll MATCHES "^(.+)(\\.[^.]+)$")
    message(FATAL_ERROR "${def}: LIBRARY ${dll} has no extension")
  endif()
  nccore_def_for_link(${def} link_def)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${CMAKE_MATCH_1} PREFIX ""
                                             SUFFIX ${CMAKE_MATCH_2} LINK_DEPENDS ${link_def})
  target_link_options(${target} PRIVATE ${NCCORE_STATIC_RUNTIME} ${link_def} -Wl,--kill-at)
  add_custom_command(
    TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_DLLTOOL} --input-def ${link_def} --dllname ${dll} --kill-at
            --output-lib $<TARGET_LINKER_FILE:${target}>
    VERBATIM)
endfunction()

# ---- the primitives' companion DLLs ------------------------------------------
# One per zq_companion line of zq/CMakeLists.txt: its objects and libgcrypt
# (static; a companion that calls none of it takes nothing from it), built
# beside NCCORE21.DLL, which loads them from its own folder.
get_property(NCCORE_ZQ_COMPANIONS GLOBAL PROPERTY NCCORE_ZQ_COMPANIONS)
foreach(companion IN LISTS NCCORE_ZQ_COMPANIONS)
  add_library(${companion} SHARED $<TARGET_OBJECTS:zq_${companion}>)
  target_link_libraries(${companion} PRIVATE nccore_gcrypt)
  nccore_link_dll(${companion} ${CMAKE_SOURCE_DIR}/res/${companion}.def)
endforeach()

# ---- NCCORE21.DLL ------------------------------------------------------------
# The library's code and resources. The primitives are not linked in: the
# static zq the target was given is replaced by the companions' import
# libraries. Every export of every companion is imported (-u on its symbol,
# "_NAME@size" on i686, "NAME" on x86_64), used yet or not, so the DLL names all its companions
# and a missing or mismatched one stops the load instead of a later job.
function(nccore_windows_dll target)
  target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/platform/win32/dll_main.cpp
                                   $<TARGET_OBJECTS:nccore_resources>)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${target} PRIVATE ${NCCORE_WIN32_LIBS})

  get_target_property(libraries ${target} LINK_LIBRARIES)
  list(REMOVE_ITEM libraries zq)
  set_property(TARGET ${target} PROPERTY LINK_LIBRARIES ${libraries})
  foreach(companion IN LISTS NCCORE_ZQ_COMPANIONS)
    nccore_read_def(${CMAKE_SOURCE_DIR}/res/${companion}.def dll exports)
    target_link_libraries(${target} PRIVATE ${companion})
    if(NCCORE_STDCALL_DECORATED)
      list(TRANSFORM exports PREPEND -Wl,--undefined=_)
    else()
      list(TRANSFORM exports REPLACE "@[0-9]+$" "")
      list(TRANSFORM exports PREPEND -Wl,--undefined=)
    endif()
    target_link_options(${target} PRIVATE ${exports})
  endforeach()

  nccore_link_dll(${target} ${CMAKE_SOURCE_DIR}/res/nccore21.def)
endfunction()

# ---- programs ----------------------------------------------------------------
function(nccore_windows_exe target)
  target_link_options(${target} PRIVATE ${NCCORE_STATIC_RUNTIME})
  get_target_property(libraries ${target} LINK_LIBRARIES)
  if("nccore_static" IN_LIST libraries OR "nccore_testsupport" IN_LIST libraries)
    target_sources(${target} PRIVATE $<TARGET_OBJECTS:nccore_resources>)
    target_link_libraries(${target} PRIVATE ${NCCORE_WIN32_LIBS})
  endif()
endfunction()
