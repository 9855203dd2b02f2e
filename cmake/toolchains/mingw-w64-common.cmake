# Shared part of the mingw-w64 toolchain files; KDX2XML_MINGW_TRIPLE names the
# target (i686-w64-mingw32 or x86_64-w64-mingw32).
set(CMAKE_SYSTEM_NAME Windows)
if(KDX2XML_MINGW_TRIPLE MATCHES "^i686")
  set(CMAKE_SYSTEM_PROCESSOR x86)
else()
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
endif()

# The library relies on std::mutex and thread_local, which GCC 12's "win32"
# thread model does not provide; the "posix" flavour (winpthreads) does. It is
# linked statically, so the DLL still needs nothing beside the system DLLs.
foreach(_kdx_tool gcc g++)
  unset(_kdx_path)
  find_program(_kdx_path NAMES ${KDX2XML_MINGW_TRIPLE}-${_kdx_tool}-posix
               ${KDX2XML_MINGW_TRIPLE}-${_kdx_tool} NO_CACHE)
  if(NOT _kdx_path)
    message(FATAL_ERROR "${KDX2XML_MINGW_TRIPLE}-${_kdx_tool} not found "
                        "(install the package g++-mingw-w64)")
  endif()
  if(_kdx_tool STREQUAL "gcc")
    set(CMAKE_C_COMPILER ${_kdx_path})
  else()
    set(CMAKE_CXX_COMPILER ${_kdx_path})
  endif()
endforeach()
set(CMAKE_RC_COMPILER ${KDX2XML_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KDX2XML_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

