// Pixels <-> metres in the map frame, and answers as ROS 2 messages.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "quorvane_nav2_maps/map_frame.hpp"
#include "quorvane_nav2_maps/messages.hpp"

namespace
{

using quorvane::maps::MapFrame;

MapFrame frameOf(double resolution, double x, double y, double yaw, int width, int height)
{
  MapFrame f;
  f.resolution = resolution;
  f.originX = x;
  f.originY = y;
  f.originYaw = yaw;
  f.width = width;
  f.height = height;
  f.frameId = "floor2";
  return f;
}

double yawOf(const geometry_msgs::msg::Quaternion & q) { return 2.0 * std::atan2(q.z, q.w); }

TEST(MapFrame, PixelCentresWithoutYaw)
{
  // 20 x 10 pixels of 0.1 m whose bottom-left corner is at (-2, 3).
  const MapFrame f = frameOf(0.1, -2.0, 3.0, 0.0, 20, 10);
  const cv::Point2d bottomLeft = quorvane::maps::pixelToWorld(f, {0, 9});
  EXPECT_NEAR(bottomLeft.x, -1.95, 1e-12);
  EXPECT_NEAR(bottomLeft.y, 3.05, 1e-12);
  const cv::Point2d topRight = quorvane::maps::pixelToWorld(f, {19, 0});
  EXPECT_NEAR(topRight.x, -0.05, 1e-12);
  EXPECT_NEAR(topRight.y, 3.95, 1e-12);
  // The image's top-left corner (pixel -0.5, -0.5) is the frame's (-2, 4).
  const cv::Point2d corner = quorvane::maps::pixelToWorld(f, {-0.5, -0.5});
  EXPECT_NEAR(corner.x, -2.0, 1e-12);
  EXPECT_NEAR(corner.y, 4.0, 1e-12);
}

TEST(MapFrame, OriginYawThirtyDegreesByHand)
{
  // Resolution 0.1, origin (1, 2), yaw 30 degrees, 4 rows. Pixel (2, 1) lies
  // 0.25 m right and 0.25 m up of the origin in the image's own axes:
  // x = 1 + 0.25 cos30 - 0.25 sin30, y = 2 + 0.25 sin30 + 0.25 cos30.
  const MapFrame f = frameOf(0.1, 1.0, 2.0, CV_PI / 6.0, 5, 4);
  const cv::Point2d p = quorvane::maps::pixelToWorld(f, {2, 1});
  EXPECT_NEAR(p.x, 1.0915063509461097, 1e-12);
  EXPECT_NEAR(p.y, 2.3415063509461097, 1e-12);
  // Pixel (0, 3): 0.05 m right and up: x = 1 + 0.05 (cos30 - sin30), y = 2 + 0.05 (sin30 + cos30).
  const cv::Point2d q = quorvane::maps::pixelToWorld(f, {0, 3});
  EXPECT_NEAR(q.x, 1.0183012701892219, 1e-12);
  EXPECT_NEAR(q.y, 2.0683012701892219, 1e-12);
  // Along the image's +u the map yaw is 30 degrees; down the image (+v) it is -60.
  EXPECT_NEAR(quorvane::maps::imageAngleToYaw(f, 0.0), CV_PI / 6.0, 1e-12);
  EXPECT_NEAR(quorvane::maps::imageAngleToYaw(f, CV_PI / 2.0), -CV_PI / 3.0, 1e-12);
}

TEST(MapFrame, RoundTripsOnRandomFrames)
{
  const unsigned seed = 99;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (int round = 0; round < 200; ++round) {
    SCOPED_TRACE("seed " + std::to_string(seed) + ", round " + std::to_string(round));
    const MapFrame f = frameOf(
      0.01 + std::abs(unit(rng)), 50.0 * unit(rng), 50.0 * unit(rng), 4.0 * unit(rng), 300, 200);
    const cv::Point2d pixel(300.0 * std::abs(unit(rng)), 200.0 * std::abs(unit(rng)));
    const cv::Point2d back =
      quorvane::maps::worldToPixel(f, quorvane::maps::pixelToWorld(f, pixel));
    EXPECT_NEAR(back.x, pixel.x, 1e-9);
    EXPECT_NEAR(back.y, pixel.y, 1e-9);
    // Distances scale by the resolution alone.
    const cv::Point2d other = pixel + cv::Point2d(3.0, 4.0);
    const cv::Point2d a = quorvane::maps::pixelToWorld(f, pixel);
    const cv::Point2d b = quorvane::maps::pixelToWorld(f, other);
    EXPECT_NEAR(std::hypot(a.x - b.x, a.y - b.y), 5.0 * f.resolution, 1e-9);
    const double angle = 3.0 * unit(rng);
    const double yaw = quorvane::maps::imageAngleToYaw(f, angle);
    EXPECT_NEAR(
      std::remainder(quorvane::maps::yawToImageAngle(f, yaw) - angle, 2 * CV_PI), 0.0, 1e-12);
    // The yaw points from a to the pixel one step along the image angle.
    const cv::Point2d c =
      quorvane::maps::pixelToWorld(f, pixel + cv::Point2d(std::cos(angle), std::sin(angle)));
    EXPECT_NEAR(std::remainder(std::atan2(c.y - a.y, c.x - a.x) - yaw, 2 * CV_PI), 0.0, 1e-9);
  }
  const MapFrame f = frameOf(0.5, 1.0, 1.0, 0.0, 4, 4);
  const std::vector<cv::Point2d> pixels{{0, 0}, {1, 2}, {3, 3}};
  EXPECT_EQ(quorvane::maps::worldToPixels(f, quorvane::maps::pixelsToWorld(f, pixels)), pixels);
}

// ---------------------------------------------------------------- messages

TEST(Messages, PolygonPointAndPoseInTheMapFrame)
{
  const MapFrame f = frameOf(0.5, -1.0, 2.0, 0.0, 10, 6);
  const std::vector<cv::Point2f> outline{{1, 1}, {5, 1}, {5, 3}, {1, 3}, {1, 1}};
  const auto polygon = quorvane::maps::toPolygonStamped(f, outline);
  EXPECT_EQ(polygon.header.frame_id, "floor2");
  ASSERT_EQ(polygon.polygon.points.size(), 5u);
  // (1, 1): x = -1 + 1.5 * 0.5, y = 2 + (6 - 1.5) * 0.5.
  EXPECT_FLOAT_EQ(polygon.polygon.points[0].x, -0.25F);
  EXPECT_FLOAT_EQ(polygon.polygon.points[0].y, 4.25F);
  EXPECT_FLOAT_EQ(polygon.polygon.points[2].x, 1.75F);
  EXPECT_FLOAT_EQ(polygon.polygon.points[2].y, 3.25F);
  EXPECT_EQ(polygon.polygon.points[4], polygon.polygon.points[0]);

  const auto point = quorvane::maps::toPointStamped(f, {5, 3});
  EXPECT_EQ(point.header.frame_id, "floor2");
  EXPECT_DOUBLE_EQ(point.point.x, 1.75);
  EXPECT_DOUBLE_EQ(point.point.y, 3.25);

  // Walls at 30 degrees in the image (y down) run at -30 degrees in the map.
  const auto pose = quorvane::maps::directionToPoseStamped(f, {5, 3}, CV_PI / 6.0);
  EXPECT_EQ(pose.header.frame_id, "floor2");
  EXPECT_DOUBLE_EQ(pose.pose.position.x, 1.75);
  EXPECT_NEAR(yawOf(pose.pose.orientation), -CV_PI / 6.0, 1e-12);
  EXPECT_NEAR(std::hypot(pose.pose.orientation.z, pose.pose.orientation.w), 1.0, 1e-12);
}

TEST(Messages, CoverageBlocksAreTheirExtentsInOrder)
{
  const MapFrame f = frameOf(0.5, -1.0, 2.0, 0.0, 10, 6);
  quorvane::maps::Coverage coverage;
  coverage.rectangles.resize(2);
  coverage.rectangles[0].extent = {
    {0.5F, 0.5F}, {4.5F, 0.5F}, {4.5F, 2.5F}, {0.5F, 2.5F}, {0.5F, 0.5F}};
  coverage.rectangles[1].extent = {
    {6.5F, 0.5F}, {8.5F, 0.5F}, {8.5F, 4.5F}, {6.5F, 4.5F}, {6.5F, 0.5F}};
  const auto polygons = quorvane::maps::toPolygonStampeds(f, coverage);
  ASSERT_EQ(polygons.size(), 2u);
  EXPECT_EQ(polygons[1].header.frame_id, "floor2");
  ASSERT_EQ(polygons[1].polygon.points.size(), 5u);
  // (8.5, 4.5): x = -1 + 9 * 0.5, y = 2 + (6 - 5) * 0.5.
  EXPECT_FLOAT_EQ(polygons[1].polygon.points[2].x, 3.5F);
  EXPECT_FLOAT_EQ(polygons[1].polygon.points[2].y, 2.5F);
  EXPECT_FLOAT_EQ(polygons[0].polygon.points[0].x, -0.5F);
  EXPECT_TRUE(quorvane::maps::toPolygonStampeds(f, {}).empty());
}

TEST(Messages, PathFacesEachNextPointAndComesBack)
{
  const MapFrame f = frameOf(1.0, 0.0, 0.0, 0.0, 10, 10);
  // Right, then up the map (up the image is -v), a repeated point, then left.
  const std::vector<cv::Point2d> pixels{{1, 8}, {4, 8}, {4, 5}, {4, 5}, {2, 5}};
  const nav_msgs::msg::Path path = quorvane::maps::toPath(f, pixels);
  EXPECT_EQ(path.header.frame_id, "floor2");
  ASSERT_EQ(path.poses.size(), 5u);
  const double expected[] = {0.0, CV_PI / 2, CV_PI / 2, CV_PI, CV_PI};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(path.poses[i].header.frame_id, "floor2");
    EXPECT_NEAR(
      std::remainder(yawOf(path.poses[i].pose.orientation) - expected[i], 2 * CV_PI), 0.0, 1e-12)
      << "pose " << i;
  }
  EXPECT_DOUBLE_EQ(path.poses[0].pose.position.x, 1.5);
  EXPECT_DOUBLE_EQ(path.poses[0].pose.position.y, 1.5);
  const std::vector<cv::Point2d> back = quorvane::maps::fromPath(f, path);
  ASSERT_EQ(back.size(), pixels.size());
  for (std::size_t i = 0; i < back.size(); ++i) {
    EXPECT_NEAR(back[i].x, pixels[i].x, 1e-12);
    EXPECT_NEAR(back[i].y, pixels[i].y, 1e-12);
  }
  EXPECT_TRUE(quorvane::maps::toPath(f, std::vector<cv::Point2d>{}).poses.empty());
  const auto single = quorvane::maps::toPath(f, std::vector<cv::Point2d>{{2, 2}});
  ASSERT_EQ(single.poses.size(), 1u);
  EXPECT_EQ(single.poses[0].pose.orientation.w, 1.0);
}

}  // namespace
