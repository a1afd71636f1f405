# 32-bit Windows with Debian's mingw-w64: the program as shipped.
set(VERSALO_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# SSE2, as every Windows since 8 requires, for the search's fast paths.
string(APPEND CMAKE_CXX_FLAGS_INIT " -msse2")
