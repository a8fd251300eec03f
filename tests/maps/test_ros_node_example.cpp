// The README's ROS 2 node examples: an OccupancyGrid in, the inner rectangle
// out as a PolygonStamped in metres, and the coverage path as a Path.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "../../examples/coverage_path_message.hpp"
#include "../../examples/inner_rectangle_polygon.hpp"

namespace
{

/// A 40 x 30 cell grid of 0.1 m at (-2, 1); free cells x 5..34, y 5..24
/// (grid rows count up from the origin), walls and unknown cells around.
nav_msgs::msg::OccupancyGrid roomGrid()
{
  nav_msgs::msg::OccupancyGrid grid;
  grid.header.frame_id = "map";
  grid.header.stamp.sec = 42;
  grid.info.resolution = 0.1F;
  grid.info.width = 40;
  grid.info.height = 30;
  grid.info.origin.position.x = -2.0;
  grid.info.origin.position.y = 1.0;
  grid.info.origin.orientation.w = 1.0;
  grid.data.assign(40 * 30, -1);
  for (int y = 4; y <= 25; ++y) {
    for (int x = 4; x <= 35; ++x) {
      const bool wall = y == 4 || y == 25 || x == 4 || x == 35;
      grid.data[static_cast<std::size_t>(y * 40 + x)] = static_cast<std::int8_t>(wall ? 100 : 0);
    }
  }
  return grid;
}

TEST(RosNodeExample, RectangleOfARoomInMetres)
{
  const nav_msgs::msg::OccupancyGrid grid = roomGrid();
  // Cells of 0.5 m = 5 grid cells: 6 x 4 of them fill the 30 x 20 free cells.
  const geometry_msgs::msg::PolygonStamped polygon = innerRectangle(grid, 0.5);
  EXPECT_EQ(polygon.header.frame_id, "map");
  EXPECT_EQ(polygon.header.stamp.sec, 42);
  ASSERT_EQ(polygon.polygon.points.size(), 5u);
  // The same room drawn by hand as an image (rows 5..24 from the top are grid
  // rows 24..5), the core's outline on it, and metres by hand:
  // x = -2 + (u + 0.5) 0.1, y = 1 + (30 - 0.5 - v) 0.1.
  cv::Mat image = cv::Mat::zeros(30, 40, CV_8UC1);
  image(cv::Rect(5, 5, 30, 20)).setTo(255);
  std::vector<cv::Point2f> outline;
  get_special_points().getInnerRect(image, outline, 5.0);
  ASSERT_EQ(outline.size(), 5u);
  for (std::size_t i = 0; i < 5; ++i) {
    const auto & p = polygon.polygon.points[i];
    EXPECT_NEAR(p.x, -2.0 + (outline[i].x + 0.5) * 0.1, 1e-5) << i;
    EXPECT_NEAR(p.y, 1.0 + (29.5 - outline[i].y) * 0.1, 1e-5) << i;
    // Inside the free area, x -1.5..1.5 m, y 1.5..3.5 m.
    EXPECT_TRUE(p.x > -1.5 && p.x < 1.5 && p.y > 1.5 && p.y < 3.5) << p.x << ", " << p.y;
  }
  // No room for a 5 m cell.
  EXPECT_TRUE(innerRectangle(grid, 5.0).polygon.points.empty());
}

TEST(RosNodeExample, CoveragePathOfARoomInTheMapFrame)
{
  // The free room spans x -1.5..1.5 m and y 1.5..3.5 m; a robot of radius
  // 0.2 m keeps its centre within x -1.3..1.3 and y 1.7..3.3 (less half a cell).
  const nav_msgs::msg::Path path = coveragePath(roomGrid(), 0.4, 0.2);
  EXPECT_EQ(path.header.frame_id, "map");
  EXPECT_EQ(path.header.stamp.sec, 42);
  ASSERT_GT(path.poses.size(), 4u);
  for (const auto & pose : path.poses) {
    const auto & p = pose.pose.position;
    EXPECT_TRUE(p.x >= -1.35 && p.x <= 1.35 && p.y >= 1.65 && p.y <= 3.35) << p.x << ", " << p.y;
    EXPECT_EQ(pose.header.stamp.sec, 42);
  }
  // Poses face the next one: the first lane runs along x (the walls).
  const auto & q = path.poses[0].pose.orientation;
  const double yaw = 2.0 * std::atan2(q.z, q.w);
  EXPECT_NEAR(std::abs(std::cos(yaw)), 1.0, 1e-6);
}

}  // namespace
