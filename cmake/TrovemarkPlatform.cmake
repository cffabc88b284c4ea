# Platform adapters are chosen by file name, never by #if in a function body:
# each concept of a port has one file per platform, <concept>_linux.cpp or
# <concept>_mac.cpp (<concept>_mac.mm where only Objective-C offers the call),
# plus <concept>_posix.cpp for what Linux and macOS share.
#
#   trovemark_platform_sources(<out-var> CONCEPTS <concept>...
#                              [DIR <folder>] [PLATFORM <linux|mac>] [NO_OBJC])
#
# sets <out-var> to the files of each concept that the platform builds, from
# DIR (default: the current source folder): its _posix.cpp, then its own
# _<platform>.cpp or .mm. A concept may exist on one platform only; one with
# no file for any platform is a mistake and stops the configuration. NO_OBJC
# leaves out the .mm files (the simulated Mac supplies what they would call).

if(APPLE)
  set(TROVEMARK_PLATFORM mac)
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(TROVEMARK_PLATFORM linux)
else()
  message(FATAL_ERROR "Trovemark has adapters for Linux and macOS only")
endif()

function(trovemark_platform_sources out)
  cmake_parse_arguments(P "NO_OBJC" "DIR;PLATFORM" "CONCEPTS" ${ARGN})
  if(NOT P_DIR)
    set(P_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  if(NOT P_PLATFORM)
    set(P_PLATFORM ${TROVEMARK_PLATFORM})
  endif()
  set(extensions cpp)
  if(NOT P_NO_OBJC)
    list(APPEND extensions mm)
  endif()
  set(files)
  foreach(concept ${P_CONCEPTS})
    file(GLOB anywhere ${P_DIR}/${concept}_linux.* ${P_DIR}/${concept}_mac.*
         ${P_DIR}/${concept}_posix.*)
    if(NOT anywhere)
      message(FATAL_ERROR "No platform file for ${concept} in ${P_DIR}")
    endif()
    foreach(suffix posix ${P_PLATFORM})
      foreach(extension ${extensions})
        if(EXISTS ${P_DIR}/${concept}_${suffix}.${extension})
          list(APPEND files ${P_DIR}/${concept}_${suffix}.${extension})
        endif()
      endforeach()
    endforeach()
  endforeach()
  set(${out} ${files} PARENT_SCOPE)
endfunction()
