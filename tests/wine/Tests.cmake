# Windows-build tests, run under Wine: the unit tests, the Win32 platform
# tests, the DLL loaded by a host program, and the black-box tests through
# nccore.exe. Included from tests/CMakeLists.txt in the Windows build.
#
# The tests use the Wine prefix in the build tree (scripts/test-windows.sh
# creates it; Wine creates it on first use otherwise) and need an X display
# for the message boxes: run them through scripts/test-windows.sh, or under
# xvfb-run when there is no display.

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

find_program(NCCORE_WINE wine)
if(NOT NCCORE_WINE)
  message(STATUS "wine not found: the Windows tests are built but not registered")
  return()
endif()

set(NCCORE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix for the tests")
set(NCCORE_WINE_ENV
    WINEPREFIX=${NCCORE_WINEPREFIX}
    WINEDEBUG=-all
    WINEDLLOVERRIDES=mscoree,mshtml=
    NCCORE_UI=headless)
set(NCCORE_WINE_WORK ${CMAKE_CURRENT_BINARY_DIR}/wine-work)
file(MAKE_DIRECTORY ${NCCORE_WINE_WORK})

add_test(NAME wine_unit_tests COMMAND ${NCCORE_WINE} $<TARGET_FILE:unit_tests>
         WORKING_DIRECTORY ${NCCORE_WINE_WORK})
add_test(NAME wine_win32_tests COMMAND ${NCCORE_WINE} $<TARGET_FILE:win32_tests>
         WORKING_DIRECTORY ${NCCORE_WINE_WORK})
add_test(NAME wine_load_dll
         COMMAND ${NCCORE_WINE} $<TARGET_FILE:load_dll> ${CMAKE_SOURCE_DIR}/res
         WORKING_DIRECTORY ${NCCORE_WINE_WORK})
add_test(NAME wine_blackbox
         COMMAND bash ${CMAKE_SOURCE_DIR}/tests/blackbox/run.sh $<TARGET_FILE:nccore> wine)
set_tests_properties(wine_unit_tests wine_win32_tests wine_load_dll wine_blackbox
                     PROPERTIES ENVIRONMENT "${NCCORE_WINE_ENV}" TIMEOUT 900)
