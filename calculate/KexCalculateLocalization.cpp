#include "KexCalculateLocalization.h"

#include <array>
#include <cstddef>
#include <map>

#include "KexCommon.h"

namespace lng {
namespace KexCalculate {

namespace {

using Translations = std::array<const char*, 2>;

const std::map<std::string, Translations>& table() {
    static const std::map<std::string, Translations> translations{
        {"Faults.ABC_lin", {"ABC line", "ABC \xD0\xBB\xD0\xB8\xD0\xBD."}},
    };
    return translations;
}

}  // namespace

const char* get(const std::string& key) {
    const auto& translations = table();
    const auto found = translations.find(key);
    if (found == translations.end()) {
        return key.c_str();
    }
    const std::size_t column = language < found->second.size() ? language : 0U;
    return found->second[column];
}

}  // namespace KexCalculate
}  // namespace lng
