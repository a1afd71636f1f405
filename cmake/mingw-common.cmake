# What the two mingw-w64 toolchains share; VERSALO_MINGW_TRIPLE picks one.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${VERSALO_MINGW_TRIPLE})

# The -posix variants: GoogleTest needs std::mutex, which -win32 lacks.
set(CMAKE_C_COMPILER ${VERSALO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VERSALO_MINGW_TRIPLE}-g++-posix)
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
