#include "DistanceParameters.h"

namespace KexCalculate {

DistanceParameters::DistanceParameters() = default;

}  // namespace KexCalculate
