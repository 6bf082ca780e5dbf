// Declarations taken from the test system's common library. The real library
// can replace this stand-in: only the records and the language index below are
// relied on.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#if defined(KEXCOMMON_BUILDING)
#define KEXCOMMON_EXPORT __declspec(dllexport)
#else
#define KEXCOMMON_EXPORT __declspec(dllimport)
#endif
#else
#define KEXCOMMON_EXPORT __attribute__((visibility("default")))
#endif

namespace Kex {

// A phasor in polar form; the angle is in radians.
struct Polar {
    double amplitude;
    double angle;
};

// A point of a characteristic diagram, in single precision.
struct PointF {
    float x;
    float y;
};

}  // namespace Kex

namespace lng {

// Index of the user-interface language: 0 English, 1 Russian. Set by the host.
KEXCOMMON_EXPORT extern std::uint8_t language;

}  // namespace lng
