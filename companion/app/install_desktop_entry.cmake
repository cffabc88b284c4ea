# Runs at install time, when the prefix is final: the desktop entry names the
# installed program by its full path, so it starts whether or not the prefix
# is on PATH. The path is quoted, as the desktop entry rules allow.
#   ZELVAN_DESKTOP_TEMPLATE, ZELVAN_DESKTOP_OUTPUT, ZELVAN_BINDIR come from the caller.
if(IS_ABSOLUTE "${ZELVAN_BINDIR}")
  set(zelvan_path "${ZELVAN_BINDIR}/ZelvanMac")
else()
  set(zelvan_path "${CMAKE_INSTALL_PREFIX}/${ZELVAN_BINDIR}/ZelvanMac")
endif()
if(zelvan_path MATCHES "[\"`$]" OR zelvan_path MATCHES "[\\]")
  message(FATAL_ERROR "The desktop entry cannot name ${zelvan_path}: an install prefix with a quote, backquote, dollar or backslash is not supported")
endif()
set(ZELVAN_EXEC "\"${zelvan_path}\"")
configure_file("${ZELVAN_DESKTOP_TEMPLATE}" "${ZELVAN_DESKTOP_OUTPUT}" @ONLY)
