// Export macro of QTXLibrary.
//
// The library is built with hidden visibility; every class and function that a
// host may use is marked QTXLIB_API, everything else stays inside the library.
#ifndef QTX_QTXEXPORT_H
#define QTX_QTXEXPORT_H

#if defined(_WIN32) && !defined(QTXLIB_STATIC)
#  ifdef QTXLIB_BUILD
#    define QTXLIB_API __declspec(dllexport)
#  else
#    define QTXLIB_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define QTXLIB_API __attribute__((visibility("default")))
#else
#  define QTXLIB_API
#endif

#endif  // QTX_QTXEXPORT_H
