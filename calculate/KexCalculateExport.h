// Marks the classes and functions that the shared library exports; everything
// else stays hidden.
#pragma once

#if defined(_WIN32)
#if defined(KEXCALCULATE_BUILDING)
#define KEXCALCULATE_EXPORT __declspec(dllexport)
#else
#define KEXCALCULATE_EXPORT __declspec(dllimport)
#endif
#else
#define KEXCALCULATE_EXPORT __attribute__((visibility("default")))
#endif
