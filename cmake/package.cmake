# `make package`: a Debian package of the three programs, the user help, the desktop entry and the
# icons. Its Depends come from the shared libraries the programs link (dpkg-shlibdeps), plus the Qt
# platform plugins, which the window program loads at run time.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME gelvar-monitor)
set(CPACK_PACKAGE_VENDOR "Gelvar")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Service tool for the Gelvar ice and snow detector unit")
set(CPACK_PACKAGE_DESCRIPTION "Reads the parameters, watches and logs the variables and tests the \
sensors of a Gelvar detector unit on a serial port: the window program gelvar-monitor, the console \
program gelvar-cli and the simulated unit gelvar-unit-sim.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Gelvar Monitor developers <gelvar-monitor@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
include(CPack)
