# The part of the MinGW-w64 cross toolchains (posix thread model) that both
# targets share; the including file sets ORVO_MINGW_PREFIX first.
set(CMAKE_C_COMPILER ${ORVO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ORVO_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ORVO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test executables run under Wine through a wrapper that owns the build's prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
