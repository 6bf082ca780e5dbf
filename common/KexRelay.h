// Declarations taken from the test system's relay library (stand-in).
#pragma once

#include <cstdint>

namespace KexRelay {

// Whether an analog output channel generates a current or a voltage.
enum AnalogChannelSourceType : std::int32_t { Current = 0, Voltage = 1 };

}  // namespace KexRelay
