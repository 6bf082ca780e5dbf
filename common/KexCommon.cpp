#include "KexCommon.h"

namespace lng {

std::uint8_t language = 0;

}  // namespace lng
