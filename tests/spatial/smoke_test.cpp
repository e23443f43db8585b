#include <gtest/gtest.h>

#include <algorithm>
#include <ranges>

#include "ostrel/ostrel.hpp"

namespace ostrel {
namespace {

static_assert(std::ranges::random_access_range<detail::ShapePoints<GeographyCoordinate>>);
static_assert(std::ranges::random_access_range<detail::ShapeLines<GeometryCoordinate>>);
static_assert(std::ranges::random_access_range<detail::ShapePolys<GeometryCoordinate>>);
static_assert(std::ranges::sized_range<detail::ShapeRing<GeographyCoordinate>>);

TEST(DefaultFormatSmoke, BuildsHashesAndWalks) {
  DefaultGeometry::Points pts{GeometryCoordinate(1, 2), GeometryCoordinate(3, 4)};
  DefaultGeometry::Points pts2{GeometryCoordinate(3, 4), GeometryCoordinate(1, 2)};
  DefaultGeometry a(pts, {}, {});
  DefaultGeometry b(pts2, {}, {});
  EXPECT_EQ(a.GetShapeType(), ShapeType::MultiPoint);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a.GetPoints().size(), 2u);
  EXPECT_EQ(a.GetPoints()[1], GeometryCoordinate(3, 4));
  auto p = MakeSpatial<DefaultGeography>();
  EXPECT_TRUE(p->IsGeography());
  EXPECT_NE(to_string(*p).find("EmptyGeography:"), std::string::npos);
  DefaultGeography::Lines lines{{GeographyCoordinate(1_lat, 2_lon), GeographyCoordinate(3_lat, 4_lon)}};
  DefaultGeography g({}, lines, {});
  int n = 0;
  for (auto line : g.GetLines())
    for (auto c : line) n += c.IsValid();
  EXPECT_EQ(n, 2);
  EXPECT_EQ(std::ranges::count_if(g.GetLines()[0], [](auto c) { return c.IsValid(); }), 2);
}

}  // namespace
}  // namespace ostrel
