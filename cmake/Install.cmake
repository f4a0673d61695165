# Installation on Linux (cmake --install, and the Debian package made from
# the same rules): libnccore21.so, its header and pkg-config file, the nccore
# host and its manual pages. The primitives are linked into the library with
# hidden visibility, so zq/ has no public interface and is not installed;
# neither are the tests, the benchmarks, the test support or nccore-sim.
include(GNUInstallDirs)

# Installed directories are 0755 whatever the umask of the one installing.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set_target_properties(nccore21 PROPERTIES VERSION ${PROJECT_VERSION}
                                          SOVERSION ${PROJECT_VERSION_MAJOR})

# The installed host finds the library through the system's search path; a
# prefix outside it (/opt/nccore21, a home folder) gets a path relative to
# the program instead. Never one into the build tree.
set(nccore_full_libdir ${CMAKE_INSTALL_FULL_LIBDIR})
if(NOT nccore_full_libdir IN_LIST CMAKE_C_IMPLICIT_LINK_DIRECTORIES AND
   NOT nccore_full_libdir IN_LIST CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES)
  file(RELATIVE_PATH nccore_bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR} ${nccore_full_libdir})
  set_target_properties(nccore PROPERTIES INSTALL_RPATH "\$ORIGIN/${nccore_bin_to_lib}")
endif()

install(TARGETS nccore21
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
                PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(TARGETS nccore RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/include/nccore21.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# nccore21.pc: -lnccore21 alone, libgcrypt being linked privately.
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(NCCORE_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(NCCORE_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
configure_file(${CMAKE_SOURCE_DIR}/res/nccore21.pc.in ${CMAKE_BINARY_DIR}/nccore21.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/nccore21.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The manual pages, English and Russian, compressed as Debian keeps them
# (gzip -9n: no name or time stamp, so the same page gives the same file).
find_program(NCCORE_GZIP gzip REQUIRED)
# A page that appears later is picked up by the next build (the glob is
# checked again).
file(GLOB nccore_man_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/man/nccore.1
     ${CMAKE_SOURCE_DIR}/docs/man/ru/nccore.1)
set(nccore_man_pages)
foreach(source IN LISTS nccore_man_sources)
  file(RELATIVE_PATH section_dir ${CMAKE_SOURCE_DIR}/docs/man ${source})
  get_filename_component(section_dir ${section_dir} DIRECTORY)
  if(section_dir)
    set(section_dir ${section_dir}/man1)
  else()
    set(section_dir man1)
  endif()
  set(compressed ${CMAKE_BINARY_DIR}/man/${section_dir}/nccore.1.gz)
  add_custom_command(
    OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man/${section_dir}
    COMMAND ${NCCORE_GZIP} -9n -c ${source} > ${compressed}
    DEPENDS ${source}
    COMMENT "man page ${section_dir}/nccore.1.gz")
  list(APPEND nccore_man_pages ${compressed})
  install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/${section_dir})
endforeach()
add_custom_target(nccore_man_pages ALL DEPENDS ${nccore_man_pages})
