# WebAssembly with Debian's Emscripten: the search core for the web page.
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
# The core's SSE2 path becomes WebAssembly SIMD.
set(CMAKE_CXX_FLAGS_INIT "-msimd128 -msse2")
# Tests run under node; its fetch cannot load the .wasm from a file path.
set(CMAKE_CROSSCOMPILING_EMULATOR "node;--no-experimental-fetch" CACHE STRING "" FORCE)
