// The library's translated display strings.
#pragma once

#include <string>

#include "KexCalculateExport.h"

namespace lng {
namespace KexCalculate {

// The text of `key` in the language lng::language selects (0 English,
// 1 Russian; any other index gives English). An unknown key comes back as its
// own characters, valid only while the caller's string lives unchanged.
KEXCALCULATE_EXPORT const char* get(const std::string& key);

}  // namespace KexCalculate
}  // namespace lng
