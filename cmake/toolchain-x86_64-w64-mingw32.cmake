# Cross toolchain: 64-bit Windows with MinGW-w64, posix thread model. The
# product ships as a 32-bit program; this target only exists for running the
# tests on machines whose kernel cannot execute 32-bit programs (see
# scripts/test-preset).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ORVO_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
