#include "PoligonHelper.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

using Kex::PointF;
using namespace KexCalculate;

namespace {

using Polygon = std::vector<PointF>;

const Polygon kSquareCounterClockwise{{0.f, 0.f}, {1.f, 0.f}, {1.f, 1.f}, {0.f, 1.f}};
const Polygon kSquareClockwise{{0.f, 1.f}, {1.f, 1.f}, {1.f, 0.f}, {0.f, 0.f}};
const Polygon kSquareClosedExplicitly{{0.f, 0.f}, {1.f, 0.f}, {1.f, 1.f}, {0.f, 1.f}, {0.f, 0.f}};

class UnitSquare : public ::testing::TestWithParam<Polygon> {};

TEST_P(UnitSquare, InteriorExteriorAndEdgeRules) {
    const Polygon& square = GetParam();
    EXPECT_TRUE(isPointInPoligon(square, {0.5f, 0.5f}));
    EXPECT_FALSE(isPointInPoligon(square, {-1.f, 0.5f}));  // the ray crosses both sides
    // Left and top edges belong to the polygon, right and bottom edges do not.
    EXPECT_TRUE(isPointInPoligon(square, {0.f, 0.5f}));
    EXPECT_TRUE(isPointInPoligon(square, {0.5f, 1.f}));
    EXPECT_FALSE(isPointInPoligon(square, {1.f, 0.5f}));
    EXPECT_FALSE(isPointInPoligon(square, {0.5f, 0.f}));
    // Of the corners only the top-left one is inside.
    EXPECT_TRUE(isPointInPoligon(square, {0.f, 1.f}));
    EXPECT_FALSE(isPointInPoligon(square, {0.f, 0.f}));
    EXPECT_FALSE(isPointInPoligon(square, {1.f, 0.f}));
    EXPECT_FALSE(isPointInPoligon(square, {1.f, 1.f}));
}

INSTANTIATE_TEST_SUITE_P(Orientations, UnitSquare,
                         ::testing::Values(kSquareCounterClockwise, kSquareClockwise, kSquareClosedExplicitly));

TEST(PoligonHelper, DegenerateInputsAndTriangle) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(isPointInPoligon({}, {0.f, 0.f}));
    EXPECT_FALSE(isPointInPoligon({{2.f, 3.f}}, {2.f, 3.f}));
    EXPECT_FALSE(isPointInPoligon(kSquareCounterClockwise, {nan, 0.5f}));
    const Polygon triangle{{0.f, 0.f}, {4.f, 0.f}, {0.f, 4.f}};
    EXPECT_TRUE(isPointInPoligon(triangle, {1.f, 1.f}));
    EXPECT_FALSE(isPointInPoligon(triangle, {3.f, 3.f}));
}

}  // namespace
