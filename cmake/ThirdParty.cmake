# Third-party code, all from Debian's packages (installed by scripts/setup).

# nlohmann json: header only, multi-file layout. Only its own folder is exposed
# to the cross compiler, never the host's /usr/include.
set(ORVO_NLOHMANN_DIR /usr/include/nlohmann CACHE PATH "nlohmann json headers (nlohmann-json3-dev)")
set(ORVO_STAGING_INCLUDE ${CMAKE_BINARY_DIR}/staging/include)
file(MAKE_DIRECTORY ${ORVO_STAGING_INCLUDE})
if(NOT EXISTS ${ORVO_STAGING_INCLUDE}/nlohmann)
  file(CREATE_LINK ${ORVO_NLOHMANN_DIR} ${ORVO_STAGING_INCLUDE}/nlohmann SYMBOLIC)
endif()
add_library(nlohmann_json INTERFACE)
target_include_directories(nlohmann_json SYSTEM INTERFACE ${ORVO_STAGING_INCLUDE})

# pugixml: compiled for the target from Debian's source package.
file(GLOB _pugixml_dirs ${CMAKE_SOURCE_DIR}/.deps/pugixml-*)
list(SORT _pugixml_dirs)
list(POP_BACK _pugixml_dirs _pugixml_default)
set(ORVO_PUGIXML_DIR "${_pugixml_default}" CACHE PATH "pugixml source tree (apt-get source pugixml)")
if(NOT EXISTS ${ORVO_PUGIXML_DIR}/src/pugixml.cpp)
  message(FATAL_ERROR "pugixml source not found in '${ORVO_PUGIXML_DIR}': run scripts/setup")
endif()
add_library(pugixml STATIC ${ORVO_PUGIXML_DIR}/src/pugixml.cpp)
target_include_directories(pugixml SYSTEM PUBLIC ${ORVO_PUGIXML_DIR}/src)

# zlib built for MinGW (libz-mingw-w64-dev).
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)

# GoogleTest compiled for the target from Debian's source.
if(ORVO_BUILD_TESTS)
  set(ORVO_GOOGLETEST_DIR /usr/src/googletest CACHE PATH "GoogleTest source (googletest package)")
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(${ORVO_GOOGLETEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()
