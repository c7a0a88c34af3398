# Writes the digest header of the report library actually built:
#   cmake -DLIBRARY=<dll> -DOUTPUT=<header> -P WriteDigest.cmake
# The header is rewritten only when its text changes, so dependants rebuild
# only for a new library.
file(MD5 "${LIBRARY}" digest)
string(TOLOWER "${digest}" digest)
set(text "// Generated at build time from the report library that was built.
#pragma once

// MD5 of the library file, 32 lower-case hex digits.
#define ORVO_REPORT_LIBRARY_MD5 L\"${digest}\"
// The library file, for embedding as a resource.
#define ORVO_REPORT_LIBRARY_FILE \"${LIBRARY}\"
")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
