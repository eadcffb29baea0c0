#pragma once

// Marks the classes that ZOLT.Stitching exports; everything else is built with hidden visibility.
#if defined(_WIN32)
#  if defined(ZOLT_STITCHING_EXPORTS)
#    define ZOLT_STITCHING_API __declspec(dllexport)
#  else
#    define ZOLT_STITCHING_API __declspec(dllimport)
#  endif
#else
#  define ZOLT_STITCHING_API __attribute__((visibility("default")))
#endif
