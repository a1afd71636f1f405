// Whether the search may use SSE2: always on x86-64, and on 32-bit x86 when
// the compiler targets it. Other targets take the plain paths, and so does a
// build with VERSALO_NO_SSE2, which the sanitizer build uses to test them.
#ifndef VERSALO_SEARCH_SSE2_H
#define VERSALO_SEARCH_SSE2_H

#if !defined(VERSALO_NO_SSE2) && \
    (defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2))
#include <emmintrin.h>
#define VERSALO_SSE2 1
#endif

#endif  // VERSALO_SEARCH_SSE2_H
