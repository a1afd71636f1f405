# What the two mingw-w64 toolchains share; VERSALO_MINGW_TRIPLE picks one.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${VERSALO_MINGW_TRIPLE})

# The -posix variants by default: GoogleTest needs std::mutex, which the
# -win32 ones lack. The program itself is built with the -win32 ones
# (VERSALO_MINGW_THREADS=win32): the -posix runtime, linked in, imports
# GetTickCount64, which Windows XP lacks.
if(NOT VERSALO_MINGW_THREADS)
  set(VERSALO_MINGW_THREADS posix)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VERSALO_MINGW_THREADS)
set(CMAKE_C_COMPILER ${VERSALO_MINGW_TRIPLE}-gcc-${VERSALO_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${VERSALO_MINGW_TRIPLE}-g++-${VERSALO_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${VERSALO_MINGW_TRIPLE}-windres)

# The search may take AVX2 at run time, and GCC keeps spilled AVX registers
# in 32-byte aligned stack slots that Windows does not align: the assembler
# turns those moves into unaligned ones.
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")

# Link the compiler's runtime in, so an exe needs nothing but system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs run under Wine, through the project's wrapper.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)

set(CMAKE_FIND_ROOT_PATH /usr/${VERSALO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Release builds ship without symbols.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
