// Point-in-polygon test for the host's characteristic diagrams.
#pragma once

#include <vector>

#include "KexCalculateExport.h"
#include "KexCommon.h"

namespace KexCalculate {

// Even-odd crossing rule along a ray towards increasing x, in single
// precision. The polygon closes itself (last vertex to first); points on the
// left and top edges count as inside, points on the right and bottom edges as
// outside, and a NaN coordinate is never inside.
KEXCALCULATE_EXPORT bool isPointInPoligon(const std::vector<Kex::PointF>& polygon, const Kex::PointF& point);

}  // namespace KexCalculate
