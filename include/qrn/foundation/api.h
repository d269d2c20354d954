// What the libraries export.  The libraries are built with hidden
// visibility: only what a header under include/qrn declares is exported, each
// such header bracketing its declarations with QRN_API_BEGIN and QRN_API_END.
// Helpers declared in the libraries' own sources stay out of the ABI.
// Usable from C (qrtcdb.h) and C++.
#pragma once

// A template whose definition and explicit instantiations are in a library
// source (the header declares them extern) takes its visibility from where it
// is defined, so its declaration says QRN_EXPORT as well.
#if defined(__GNUC__) || defined(__clang__)
#define QRN_API_BEGIN _Pragma("GCC visibility push(default)")
#define QRN_API_END _Pragma("GCC visibility pop")
#define QRN_EXPORT __attribute__((visibility("default")))
#else
#define QRN_API_BEGIN
#define QRN_API_END
#define QRN_EXPORT
#endif
