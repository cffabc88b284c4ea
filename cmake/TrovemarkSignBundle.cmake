# Signs the installed ZelvanMac.app, run by `cmake --install` on a Mac
# (install(SCRIPT) in the top-level CMakeLists.txt) after Qt is deployed into
# it. Apple silicon runs no unsigned code, and every file rewritten since the
# linker signed it has lost its signature. Signed from the inside out, as
# Apple recommends instead of --deep: the libraries, frameworks and plugins
# Qt's deployment copied in, the command-line programs, then the bundle, whose
# signature seals everything inside it.
#
#   TROVEMARK_BUNDLE             the installed bundle
#   TROVEMARK_BUNDLE_PROGRAMS    the programs in its Contents/MacOS besides ZelvanMac
#   TROVEMARK_CODESIGN_IDENTITY  a signing identity, or "-" for an ad-hoc signature

find_program(TROVEMARK_CODESIGN codesign REQUIRED)

function(trovemark_sign path)
  execute_process(
    COMMAND ${TROVEMARK_CODESIGN} --force --sign ${TROVEMARK_CODESIGN_IDENTITY} ${path}
    RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "codesign could not sign ${path}")
  endif()
endfunction()

set(contents "${TROVEMARK_BUNDLE}/Contents")
file(GLOB_RECURSE libraries "${contents}/Frameworks/*.dylib" "${contents}/PlugIns/*.dylib")
file(GLOB frameworks LIST_DIRECTORIES true "${contents}/Frameworks/*.framework")
foreach(code IN LISTS libraries frameworks)
  trovemark_sign("${code}")
endforeach()
foreach(program IN LISTS TROVEMARK_BUNDLE_PROGRAMS)
  trovemark_sign("${contents}/MacOS/${program}")
endforeach()
trovemark_sign("${TROVEMARK_BUNDLE}")
message(STATUS "Signed ${TROVEMARK_BUNDLE} (identity ${TROVEMARK_CODESIGN_IDENTITY})")
