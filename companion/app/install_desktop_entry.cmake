# Runs at install time, when the prefix is final: the desktop entry names the
# installed program by its full path, so it starts whether or not the prefix
# is on PATH. The path is quoted, as the desktop entry rules allow.
# Each prefix gets its own copy in the build, so that installs of one build
# into several prefixes at once (the desktop tests do) never swap entries.
#   ZELVAN_DESKTOP_TEMPLATE, ZELVAN_DESKTOP_WORK (a folder of the build),
#   ZELVAN_BINDIR and ZELVAN_DATADIR come from the caller.
# Either folder may be given relative to the prefix or whole.
set(zelvan_path "${ZELVAN_BINDIR}/ZelvanMac")
set(zelvan_applications "${ZELVAN_DATADIR}/applications")
cmake_path(ABSOLUTE_PATH zelvan_path BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}")
cmake_path(ABSOLUTE_PATH zelvan_applications BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}")
if(zelvan_path MATCHES "[\"`$]" OR zelvan_path MATCHES "[\\]")
  message(FATAL_ERROR "The desktop entry cannot name ${zelvan_path}: an install prefix with a quote, backquote, dollar or backslash is not supported")
endif()
set(ZELVAN_EXEC "\"${zelvan_path}\"")
string(SHA1 zelvan_copy "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(zelvan_entry "${ZELVAN_DESKTOP_WORK}/desktop-entry-${zelvan_copy}/trovemark-companion.desktop")
configure_file("${ZELVAN_DESKTOP_TEMPLATE}" "${zelvan_entry}" @ONLY)
file(INSTALL DESTINATION "${zelvan_applications}" TYPE FILE FILES "${zelvan_entry}")
file(REMOVE_RECURSE "${ZELVAN_DESKTOP_WORK}/desktop-entry-${zelvan_copy}")
