# `make package`: a Debian package of the three programs, their manual pages, the user help, the
# desktop entry, the icons and the systemd service for a unit left at a site. Its Depends come from
# the shared libraries the programs link (dpkg-shlibdeps), plus the Qt platform plugins, which the
# window program loads at run time, and systemd-sysusers, which makes the service's user.
set(GELVAR_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(GELVAR_DOC_DIR share/doc/gelvar-monitor)

# Manual pages and the changelog go in compressed, without a time stamp, so that the package is
# the same from one build to the next.
set(GELVAR_GZIPPED)
foreach(source docs/man/gelvar-monitor.1 docs/man/gelvar-cli.1 docs/man/gelvar-unit-sim.1 packaging/changelog)
  get_filename_component(name ${source} NAME)
  set(gzipped ${CMAKE_BINARY_DIR}/packaging/${name}.gz)
  add_custom_command(OUTPUT ${gzipped}
    COMMAND gzip -9 -n -c ${CMAKE_SOURCE_DIR}/${source} > ${gzipped}
    DEPENDS ${CMAKE_SOURCE_DIR}/${source}
    VERBATIM)
  list(APPEND GELVAR_GZIPPED ${gzipped})
endforeach()
add_custom_target(gelvar_packaging_files ALL DEPENDS ${GELVAR_GZIPPED})
list(FILTER GELVAR_GZIPPED INCLUDE REGEX "\\.1\\.gz$")
install(FILES ${GELVAR_GZIPPED} DESTINATION share/man/man1)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz ${GELVAR_PACKAGING_DIR}/copyright
  DESTINATION ${GELVAR_DOC_DIR})
install(FILES ${GELVAR_PACKAGING_DIR}/gelvar-cli.conf DESTINATION ${GELVAR_DOC_DIR}/examples)
install(FILES ${GELVAR_PACKAGING_DIR}/lintian-overrides DESTINATION share/lintian/overrides
  RENAME gelvar-monitor)

# The service: the unit names its helper by the prefix it is installed under, known only then
# (/usr in the package, /usr/local for `make install`).
install(PROGRAMS ${GELVAR_PACKAGING_DIR}/gelvar-cli-service DESTINATION libexec/gelvar-monitor)
install(FILES ${GELVAR_PACKAGING_DIR}/sysusers.conf DESTINATION lib/sysusers.d RENAME gelvar-monitor.conf)
install(CODE "
  set(GELVAR_LIBEXEC_DIR \"\${CMAKE_INSTALL_PREFIX}/libexec/gelvar-monitor\")
  configure_file(\"${GELVAR_PACKAGING_DIR}/gelvar-cli@.service.in\"
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/systemd/system/gelvar-cli@.service\" @ONLY)
")

# Stripped as Debian strips: without the compiler's .comment and the .note section either.
if(GELVAR_WITH_QT)
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      foreach(program gelvar-monitor gelvar-cli gelvar-unit-sim)
        execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
          \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/\${program}\" COMMAND_ERROR_IS_FATAL ANY)
      endforeach()
    endif()
  ")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME gelvar-monitor)
set(CPACK_PACKAGE_VENDOR "Gelvar")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service tool for the Gelvar ice and snow detector unit")
set(CPACK_PACKAGE_DESCRIPTION
  "Reads the parameters, watches and logs the variables and tests the sensors of
a Gelvar detector unit on a serial port. The package holds the window program
gelvar-monitor, the console program gelvar-cli, which also publishes the
variables to an MQTT broker, and the simulated unit gelvar-unit-sim.
.
The systemd template unit gelvar-cli@.service runs gelvar-cli for one unit on
a small computer left at a site; no instance is enabled on installation.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(GELVAR_PACKAGE_MAINTAINER "Gelvar Monitor developers <developers@gelvar-monitor.example.org>"
  CACHE STRING "Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${GELVAR_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, systemd | systemd-standalone-sysusers")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${GELVAR_PACKAGING_DIR}/postinst ${GELVAR_PACKAGING_DIR}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# A cross build names the architecture it builds for (cmake/toolchain-aarch64.cmake).
if(DEFINED ENV{DEB_HOST_ARCH})
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE $ENV{DEB_HOST_ARCH})
endif()
include(CPack)
