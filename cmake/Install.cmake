# Installation: `cmake --install BUILD --prefix PREFIX` lays out
#
#   bin/                      the programs, found their library through
#                             $ORIGIN/../lib, so the tree can be moved whole
#   lib/                      libcea_bindc.so, its pkg-config file and its
#                             CMake package (find_package(cea_bindc))
#   include/                  cea_bindc.h
#   share/lre-perf/           the thermodynamic database (and the compiled
#                             one, and the interface's page, where built)
#   share/man/                the manual pages
#   share/bash-completion/    completion of the options and module names
#
# Included at the end of the top-level CMakeLists.txt, after every target:
# the programs that this tree defines are installed by name below, and a
# program that is not there is skipped.
#
# The library keeps the unversioned name libcea_bindc.so as its SONAME: a
# program records only that name, so any library of that name and interface
# (another build, another implementation) replaces this one by being put in
# its place or found first through LD_LIBRARY_PATH (the programs' run path
# is a RUNPATH, which LD_LIBRARY_PATH overrides).

if(NOT DEFINED CMAKE_INSTALL_DOCDIR)
    # The package's name, not the CMake project's (lre_perf).
    set(CMAKE_INSTALL_DOCDIR "share/doc/lre-perf" CACHE PATH "Documentation (DATAROOTDIR/doc/lre-perf)")
endif()
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(LRE_INSTALL_DATADIR "${CMAKE_INSTALL_DATADIR}/lre-perf")
set(LRE_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/cea_bindc")
file(RELATIVE_PATH LRE_BINDIR_TO_LIBDIR "/${CMAKE_INSTALL_BINDIR}" "/${CMAKE_INSTALL_LIBDIR}")

# --- Programs ---------------------------------------------------------------
set(LRE_PROGRAMS lre-perf lre-sweep lre-ui thermo-compile)
set(LRE_INSTALLED_PROGRAMS "")
foreach(program IN LISTS LRE_PROGRAMS)
    if(TARGET ${program})
        set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/${LRE_BINDIR_TO_LIBDIR}")
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
        list(APPEND LRE_INSTALLED_PROGRAMS ${program})
    endif()
endforeach()

# --- Library, header, pkg-config file, CMake package -------------------------
# An external library given with LRE_CEA_LIBRARY is not ours to install.
get_target_property(lre_cea_imported cea_bindc IMPORTED)
if(NOT lre_cea_imported)
    # A shared library is not a program: read-only, like the system's own.
    install(TARGETS cea_bindc EXPORT cea_bindc_targets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
            PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
    install(FILES ${PROJECT_SOURCE_DIR}/cea/include/cea_bindc.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

    install(EXPORT cea_bindc_targets NAMESPACE cea_bindc:: FILE cea_bindcTargets.cmake
        DESTINATION ${LRE_INSTALL_CMAKEDIR})
    configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/cea_bindcConfig.cmake.in
        ${PROJECT_BINARY_DIR}/cea_bindcConfig.cmake INSTALL_DESTINATION ${LRE_INSTALL_CMAKEDIR})
    # 0.x: a new minor version may change the interface.
    write_basic_package_version_file(${PROJECT_BINARY_DIR}/cea_bindcConfigVersion.cmake
        COMPATIBILITY SameMinorVersion)
    install(FILES ${PROJECT_BINARY_DIR}/cea_bindcConfig.cmake ${PROJECT_BINARY_DIR}/cea_bindcConfigVersion.cmake
        DESTINATION ${LRE_INSTALL_CMAKEDIR})

    # The pkg-config file finds the prefix from its own place (pcfiledir).
    file(RELATIVE_PATH LRE_PCFILEDIR_TO_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
    string(REGEX REPLACE "/$" "" LRE_PCFILEDIR_TO_PREFIX "${LRE_PCFILEDIR_TO_PREFIX}")
    configure_file(${PROJECT_SOURCE_DIR}/cmake/cea_bindc.pc.in ${PROJECT_BINARY_DIR}/cea_bindc.pc @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/cea_bindc.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()

# --- Data --------------------------------------------------------------------
install(FILES ${PROJECT_SOURCE_DIR}/data/thermo.inp DESTINATION ${LRE_INSTALL_DATADIR})
if(TARGET thermo-compile)
    # The compiled database that the build makes from data/thermo.inp.
    install(FILES ${PROJECT_BINARY_DIR}/thermo.lib DESTINATION ${LRE_INSTALL_DATADIR})
endif()
if(TARGET lre-ui AND IS_DIRECTORY ${PROJECT_SOURCE_DIR}/ui)
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/ui/ DESTINATION ${LRE_INSTALL_DATADIR}/ui)
endif()

# --- Manual pages --------------------------------------------------------------
# Each page is written in Markdown under doc/ (readable as it is, and linked
# from the README) and turned into man(7) by lowdown, then compressed. A page
# is made for each installed program and for the library.
if(LRE_BUILD_MANPAGES)
    find_program(LRE_LOWDOWN lowdown)
    find_program(LRE_GZIP gzip)
    if(NOT LRE_LOWDOWN OR NOT LRE_GZIP)
        message(FATAL_ERROR "The manual pages need lowdown and gzip (Debian: apt-get install lowdown); "
                            "configure with -DLRE_BUILD_MANPAGES=OFF to build without them")
    endif()
    set(lre_pages "")
    foreach(program IN LISTS LRE_INSTALLED_PROGRAMS)
        list(APPEND lre_pages ${program}.1)
    endforeach()
    if(NOT lre_cea_imported)
        list(APPEND lre_pages cea_bindc.3)
    endif()
    set(lre_page_files "")
    foreach(page IN LISTS lre_pages)
        string(REGEX MATCH "[0-9]$" section ${page})
        string(REGEX REPLACE "\\.[0-9]$" "" title ${page})
        set(source ${PROJECT_SOURCE_DIR}/doc/${page}.md)
        set(output ${PROJECT_BINARY_DIR}/man/${page}.gz)
        if(NOT EXISTS ${source})
            message(WARNING "${title} is installed without a manual page: write doc/${page}.md")
            continue()
        endif()
        add_custom_command(OUTPUT ${output}
            # Typed as written: "--" stays two hyphens, a_b keeps its underscore.
            COMMAND ${LRE_LOWDOWN} -s -tman --out-no-smarty --parse-no-intraemph
                    -M title=${title} -M section=${section}
                    "-M source=lre-perf ${PROJECT_VERSION}" "-M volume=lre-perf manual"
                    -o ${PROJECT_BINARY_DIR}/man/${page} ${source}
            COMMAND ${LRE_GZIP} -9nf ${PROJECT_BINARY_DIR}/man/${page}
            DEPENDS ${source}
            COMMENT "Manual page ${page}"
            VERBATIM)
        install(FILES ${output} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
        list(APPEND lre_page_files ${output})
    endforeach()
    file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/man)
    add_custom_target(lre_manpages ALL DEPENDS ${lre_page_files})
endif()

# --- Bash completion -----------------------------------------------------------
# One script serves every program: it reads the options and module names
# from the program's own --help, so it cannot fall behind them.
foreach(program IN LISTS LRE_INSTALLED_PROGRAMS)
    install(FILES ${PROJECT_SOURCE_DIR}/completion/lre-perf.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME ${program})
endforeach()

include(${CMAKE_CURRENT_LIST_DIR}/Package.cmake)
