// Symbol visibility of the library.
//
// The library is built with hidden visibility: only declarations marked
// OSTREL_EXPORT (classes with out-of-line members, free functions defined in
// the library) are part of the shared object's interface. Header-only
// templates and inline functions need no mark.
#pragma once

#if defined(OSTREL_SHARED) && (defined(__GNUC__) || defined(__clang__))
#define OSTREL_EXPORT __attribute__((visibility("default")))
#else
#define OSTREL_EXPORT
#endif
