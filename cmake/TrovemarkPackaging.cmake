# The Debian package of both programs (`make package`, through CPack): what
# `cmake --install` puts under the prefix, plus the documents Debian asks of
# every package. Configure with -DCMAKE_INSTALL_PREFIX=/usr for it.

set(TROVEMARK_PACKAGE_MAINTAINER "Trovemark developers <developers@trovemark.invalid>"
    CACHE STRING "The package's Maintainer field")

# Debian keeps documents compressed, without a time stamp. They are made when
# configuring, so that every install finds them whatever was built.
function(trovemark_compressed source output)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  get_filename_component(folder ${output} DIRECTORY)
  file(MAKE_DIRECTORY ${folder})
  execute_process(COMMAND gzip -9nc ${source} OUTPUT_FILE ${output} COMMAND_ERROR_IS_FATAL ANY)
endfunction()

# The changelog names the version it describes; a release that moves one
# without the other would ship a package that contradicts itself.
set(packaging ${PROJECT_SOURCE_DIR}/packaging)
file(STRINGS ${packaging}/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^trovemark \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog must start with version ${PROJECT_VERSION}")
endif()
set(compressed ${CMAKE_CURRENT_BINARY_DIR}/packaging)
trovemark_compressed(${packaging}/changelog ${compressed}/changelog.gz)
install(FILES ${packaging}/copyright ${compressed}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/trovemark)
# Each program's page, by its source in packaging/.
foreach(page TrovemarkColorAX:TrovemarkColorAX ZelvanMac:ZelvanMac diagnosis:trovemark-inspect)
  string(REPLACE ":" ";" page ${page})
  list(GET page 0 source)
  list(GET page 1 program)
  trovemark_compressed(${packaging}/${source}.1 ${compressed}/${program}.1.gz)
  install(FILES ${compressed}/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME trovemark)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${TROVEMARK_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tablet control of the Color page of DaVinci Resolve")
set(CPACK_PACKAGE_DESCRIPTION
    "Trovemark lets a tablet control surface work the Color page of DaVinci
Resolve. Two programs ship together:
 - TrovemarkColorAX, a command-line helper that reads and moves the sliders
   of the Color page through the desktop's accessibility interface;
 - ZelvanMac, a tray application that keeps the bridge script running under
   Resolve's scripting runtime and offers the tablet's pairing link.
Resolve Studio 21.1 or later supplies the scripting runtime. The pairing link
names this machine by the .local name that the Avahi daemon announces.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link (Qt 6, libdbus, the C++ run time) are read
# from the binaries; the services they talk to are named here: the desktop's
# accessibility bus, and the mDNS daemon without which the machine has no
# .local name and the pairing link cannot be built.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "at-spi2-core, avahi-daemon")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
