# 64-bit Windows with Debian's mingw-w64: the same sources as the shipped
# 32-bit program, built and tested beside it.
set(VERSALO_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
