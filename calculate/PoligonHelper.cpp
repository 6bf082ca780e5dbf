#include "PoligonHelper.h"

#include <cstddef>

namespace KexCalculate {

bool isPointInPoligon(const std::vector<Kex::PointF>& polygon, const Kex::PointF& point) {
    const std::size_t count = polygon.size();
    bool inside = false;
    for (std::size_t i = 0; i < count; ++i) {
        const Kex::PointF& a = polygon[i];
        const Kex::PointF& b = polygon[(i + 1) % count];
        // One end strictly below the point's height, the other at or above it;
        // horizontal edges never qualify, so the division below is safe.
        if ((point.y > a.y) == (b.y >= point.y)) {
            const float d = (b.x - a.x) * (point.y - a.y);
            const float t = d / (b.y - a.y);
            if (t > point.x - a.x) {
                inside = !inside;
            }
        }
    }
    return inside;
}

}  // namespace KexCalculate
