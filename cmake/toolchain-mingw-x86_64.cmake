# 64-bit Windows with Debian's mingw-w64: the same sources, for the tests,
# since only 64-bit Wine can be installed here.
set(VERSALO_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
