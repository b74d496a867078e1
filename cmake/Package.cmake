# The Debian package: `cpack -G DEB` in the build folder (or
# `cpack --config BUILD/CPackConfig.cmake -G DEB`) packs what
# `cmake --install` lays out, under /usr, as one package lre-perf.
# dpkg-shlibdeps finds the shared-library dependencies; what it cannot see
# (the interface's Chart.js) is named here.

set(LRE_PACKAGE_MAINTAINER "lre-perf developers <lre-perf@example.org>" CACHE STRING
    "Maintainer field of the Debian package")

# Read by lintian: a Debian changelog whose entry is this version, and the
# copyright file, both in the package's documentation folder.
string(TIMESTAMP LRE_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY)
find_program(LRE_GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.gz
    COMMAND ${LRE_GZIP} -9nkf ${PROJECT_BINARY_DIR}/packaging/changelog
    DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog
    VERBATIM)
add_custom_target(lre_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The lintian findings that follow from choices made on purpose, each with
# its reason.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME lre-perf)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lre-perf)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${LRE_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libcea_bindc.so is in the package itself. Its loader cache is refreshed
# by libc's ldconfig trigger; there is no shlibs file, since the library's
# SONAME carries no version (see Install.cmake).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_INSTALL_LIBDIR})
# Our own maintainer scripts stand in for the ldconfig calls that CPack would
# write otherwise.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/triggers
    ${PROJECT_SOURCE_DIR}/packaging/postinst ${PROJECT_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"steady-state performance of liquid rocket engines
lre-perf computes one steady operating case of a liquid rocket engine
(TQ-12B and TQ-15B, LOX / liquid methane gas-generator engines, and the
YF-100K family, LOX / RP-1 oxidizer-rich staged combustion) at a given
throttle and altitude: chamber temperature and product properties from a
chemical equilibrium of the propellants, then flows, areas, thrust and
specific impulse from a one-dimensional nozzle model with efficiencies.
It prints a text report or a JSON document.
.
The package also holds libcea_bindc, the chemical-equilibrium library
behind a C interface (Gibbs-energy minimisation after Gordon & McBride)
with its header, pkg-config file and CMake package, and the NASA Glenn
thermodynamic database.")
set(lre_package_depends "")
if(TARGET lre-ui)
    # The interface serves Debian's Chart.js.
    list(APPEND lre_package_depends libjs-chart.js)
endif()
list(JOIN lre_package_depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)

include(CPack)
