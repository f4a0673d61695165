# Windows-build tests, run under Wine: the unit tests, the Win32 platform
# tests, the DLLs loaded by a host program, the fuzz corpora, and the
# black-box tables through nccore.exe. Included from tests/CMakeLists.txt in
# the Windows build.
#
# The 64-bit build runs under wine64 (Debian puts it in /usr/lib/wine), the
# 32-bit one under i386 Wine where the machine can run it. Every test uses
# the Wine prefix of its build folder, made once by the wine_prefix fixture;
# message boxes need an X display: run them through scripts/test-windows.sh,
# or under xvfb-run when there is no display.

set(NCCORE_WINE_DIR ${CMAKE_CURRENT_LIST_DIR})

# A host program that loads NCCORE21.DLL and its companion DLLs by name, so
# it sits beside them; it reads their .def files from res/.
add_executable(load_dll ${NCCORE_WINE_DIR}/load_dll.cpp)
target_include_directories(load_dll PRIVATE ${CMAKE_SOURCE_DIR})
set_target_properties(load_dll PROPERTIES RUNTIME_OUTPUT_DIRECTORY $<TARGET_FILE_DIR:nccore21>)
get_property(NCCORE_ZQ_COMPANIONS GLOBAL PROPERTY NCCORE_ZQ_COMPANIONS)
add_dependencies(load_dll nccore21 ${NCCORE_ZQ_COMPANIONS})
nccore_windows_exe(load_dll)

add_executable(win32_tests ${NCCORE_WINE_DIR}/win32_platform_test.cpp)
target_link_libraries(win32_tests PRIVATE nccore_static gtest)
target_compile_definitions(win32_tests PRIVATE
                           NCCORE_STRINGS_TXT="${CMAKE_SOURCE_DIR}/res/strings.txt")
nccore_windows_exe(win32_tests)

# The library's windows driven through window messages, and the resources
# they are made from. It sits beside NCCORE21.DLL, which it loads.
add_executable(dialog_tests ${NCCORE_WINE_DIR}/dialogs_test.cpp)
target_link_libraries(dialog_tests PRIVATE nccore_testsupport gtest gtest_main)
set_target_properties(dialog_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                                              $<TARGET_FILE_DIR:nccore21>)
add_dependencies(dialog_tests nccore21 ${NCCORE_ZQ_COMPANIONS})
nccore_windows_exe(dialog_tests)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  find_program(NCCORE_WINE NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine)
else()
  find_program(NCCORE_WINE NAMES wine PATHS /usr/lib/wine)
endif()
if(NOT NCCORE_WINE)
  message(STATUS "Wine not found: the Windows tests are built but not registered")
  return()
endif()
get_filename_component(NCCORE_WINE_BIN ${NCCORE_WINE} DIRECTORY)
find_program(NCCORE_WINESERVER NAMES wineserver HINTS ${NCCORE_WINE_BIN} REQUIRED)

set(NCCORE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix for the tests")
# C.UTF-8: Wine reads the command line and file names in UTF-8, and the
# system's ANSI code page is not 1251, so the tests show that the library's
# texts and names do not depend on it.
set(NCCORE_WINE_ENV
    WINE=${NCCORE_WINE}
    WINEPREFIX=${NCCORE_WINEPREFIX}
    WINEDEBUG=-all
    WINEDLLOVERRIDES=mscoree,mshtml=
    LC_ALL=C.UTF-8
    NCCORE_UI=headless)
set(NCCORE_WINE_WORK ${CMAKE_CURRENT_BINARY_DIR}/wine-work)
file(MAKE_DIRECTORY ${NCCORE_WINE_WORK})

# wine_prefix_test(NAME FIXTURE ENVIRONMENT): makes the prefix the
# environment names, once (the first start takes about half a minute), as
# the set-up of the fixture.
function(wine_prefix_test name fixture environment)
  add_test(NAME ${name}
           COMMAND bash ${NCCORE_WINE_DIR}/make_prefix.sh ${NCCORE_WINE} ${NCCORE_WINESERVER})
  set_tests_properties(${name} PROPERTIES FIXTURES_SETUP ${fixture}
                                          ENVIRONMENT "${environment}" TIMEOUT 600)
endfunction()
wine_prefix_test(wine_prefix wine "${NCCORE_WINE_ENV}")

# wine_test(NAME [SERIAL] COMMAND...): a test under Wine in the prefix.
function(wine_test name)
  set(serial FALSE)
  if(ARGV1 STREQUAL "SERIAL")
    set(serial TRUE)
    list(REMOVE_AT ARGN 0)
  endif()
  add_test(NAME ${name} COMMAND ${ARGN} WORKING_DIRECTORY ${NCCORE_WINE_WORK})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${NCCORE_WINE_ENV}" FIXTURES_REQUIRED wine
                                          TIMEOUT 1800 RUN_SERIAL ${serial})
endfunction()

wine_test(wine_unit_tests ${NCCORE_WINE} $<TARGET_FILE:unit_tests>)

# The dialogs run in a prefix made under the Russian locale: Wine picks the
# dialogs' bitmap font by the locale's ANSI code page, and draws Cyrillic
# only with the 1251 font. The default interface there is the library's own.
set(NCCORE_WINEPREFIX_RU ${CMAKE_BINARY_DIR}/wineprefix-ru)
set(NCCORE_WINE_RU_ENV ${NCCORE_WINE_ENV})
list(TRANSFORM NCCORE_WINE_RU_ENV REPLACE "^WINEPREFIX=.*" "WINEPREFIX=${NCCORE_WINEPREFIX_RU}")
list(TRANSFORM NCCORE_WINE_RU_ENV REPLACE "^LC_ALL=.*" "LC_ALL=ru_RU.UTF-8")
list(TRANSFORM NCCORE_WINE_RU_ENV REPLACE "^NCCORE_UI=.*" "NCCORE_UI=win32")
list(APPEND NCCORE_WINE_RU_ENV LANG=ru_RU.UTF-8)
wine_prefix_test(wine_prefix_ru wine_ru "${NCCORE_WINE_RU_ENV}")
add_test(NAME wine_dialogs COMMAND ${NCCORE_WINE} $<TARGET_FILE:dialog_tests>
         WORKING_DIRECTORY ${NCCORE_WINE_WORK})
set_tests_properties(wine_dialogs PROPERTIES ENVIRONMENT "${NCCORE_WINE_RU_ENV}"
                                             FIXTURES_REQUIRED wine_ru TIMEOUT 900)
# Pictures of the three windows, in Wine's own desktop (a frame and a
# caption), written to screenshots/ of the build folder; after the dialogs
# test, since both use the prefix's desktop.
add_test(NAME wine_dialog_shots
         COMMAND bash ${NCCORE_WINE_DIR}/dialog_shots.sh $<TARGET_FILE:dialog_tests>
                 ${CMAKE_BINARY_DIR}/screenshots
         WORKING_DIRECTORY ${NCCORE_WINE_WORK})
set_tests_properties(wine_dialog_shots PROPERTIES ENVIRONMENT "${NCCORE_WINE_RU_ENV}"
                                                  FIXTURES_REQUIRED wine_ru TIMEOUT 900
                                                  DEPENDS wine_dialogs RUN_SERIAL TRUE)
wine_test(wine_win32_tests ${NCCORE_WINE} $<TARGET_FILE:win32_tests>)
wine_test(wine_load_dll ${NCCORE_WINE} $<TARGET_FILE:load_dll> ${CMAKE_SOURCE_DIR}/res)
foreach(harness IN LISTS NCCORE_FUZZ_HARNESSES)
  wine_test(wine_fuzz_replay_${harness} ${NCCORE_WINE} $<TARGET_FILE:${harness}_replay>
            ${CMAKE_SOURCE_DIR}/tests/fuzz_corpus/${harness})
endforeach()
set(blackbox ${CMAKE_SOURCE_DIR}/tests/blackbox)
wine_test(wine_blackbox bash ${blackbox}/run.sh $<TARGET_FILE:nccore> wine)
wine_test(wine_generators_blackbox bash ${blackbox}/generators_table.sh $<TARGET_FILE:nccore> wine)
# The shipped set alone: nccore.exe, NCCORE21.DLL and its companions copied
# into a folder of their own.
wine_test(wine_shipped_set bash ${NCCORE_WINE_DIR}/shipped_set.sh $<TARGET_FILE_DIR:nccore21>)
# The DES and change-of-protection tables write the Touch Memory adapter
# type into the prefix's registry, which the unit tests also use: alone.
wine_test(wine_des_blackbox SERIAL bash ${blackbox}/des_table.sh $<TARGET_FILE:nccore> wine)
wine_test(wine_pwd_blackbox SERIAL bash ${blackbox}/pwd_table.sh $<TARGET_FILE:nccore> wine)
if(NCCORE_SIMULATORS)  # the rows with simulated carriers run on the demonstration host
  set_property(TEST wine_des_blackbox wine_pwd_blackbox APPEND PROPERTY ENVIRONMENT
               NCCORE_SIM=$<TARGET_FILE:nccore-sim>)
endif()
wine_test(wine_gosf_blackbox bash ${blackbox}/gosf_table.sh $<TARGET_FILE:nccore> wine)
wine_test(wine_rsaf_blackbox bash ${blackbox}/rsaf_table.sh $<TARGET_FILE:nccore> wine)
wine_test(wine_dif_blackbox bash ${blackbox}/dif_table.sh $<TARGET_FILE:nccore> wine)
# A quiet DES job ended by Ctrl-C (SIGINT, which Wine hands to the program
# as the console's Ctrl-C): 10, no temporary file, the destination kept.
wine_test(wine_jobs_interrupted bash ${blackbox}/jobs_interrupted.sh $<TARGET_FILE:nccore> wine)
# The shipped DLL and host hold no test support.
wine_test(wine_no_simulators bash ${blackbox}/no_simulators.sh $<TARGET_FILE:nccore>
          $<TARGET_FILE:nccore21> ${CMAKE_NM} wine)

# Keys and ciphertexts between this build and the native one (its nccore
# given by NCCORE_NATIVE_HOST; scripts/test-windows.sh passes it).
set(NCCORE_NATIVE_HOST "" CACHE FILEPATH "The native build's nccore, for the cross-platform test")
if(NCCORE_NATIVE_HOST)
  wine_test(wine_cross_platform bash ${blackbox}/cross_platform.sh ${NCCORE_NATIVE_HOST}
            $<TARGET_FILE:nccore>)
else()
  message(STATUS "NCCORE_NATIVE_HOST not set: no cross-platform key test")
endif()
