// The coverage path: hand-made rooms whose answers can be written down, an
// independent checker (collisions from a distance transform of the map, the
// swept band drawn with OpenCV) on random floor plans and the real maps, and
// bad input.
#include <gtest/gtest.h>

#include "expect_cv_error.hpp"

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "coverage_path_route.hpp"
#include "quorvane_nav2_maps/aligned_map.hpp"
#include "quorvane_nav2_maps/coverage_path.hpp"
#include "quorvane_nav2_maps/map.hpp"
#include "quorvane_nav2_maps/map_frame.hpp"
#include "quorvane_nav2_maps/messages.hpp"
#include "reference_segment_clearance.hpp"
#include "sample_floor_plan.hpp"
#include "test_maps_dir.hpp"

namespace
{

namespace maps = quorvane::maps;

constexpr double kRes = 0.05;
constexpr int kMargin = 10;

maps::Map mapOf(const cv::Mat & free, double resolution = kRes)
{
  maps::Map map;
  map.free = free;
  map.unknown = cv::Mat::zeros(free.size(), CV_8UC1);
  map.frame.resolution = resolution;
  map.frame.originX = -3.0;
  map.frame.originY = 2.0;
  map.frame.width = free.cols;
  map.frame.height = free.rows;
  return map;
}

/// A blank image with the free rectangles drawn (x, y, width, height, in
/// pixels from the margin's corner).
cv::Mat roomOf(cv::Size size, const std::vector<cv::Rect> & freeRects)
{
  cv::Mat free = cv::Mat::zeros(size.height + 2 * kMargin, size.width + 2 * kMargin, CV_8UC1);
  for (const cv::Rect & r : freeRects) {
    free(r + cv::Point(kMargin, kMargin)).setTo(255);
  }
  return free;
}

maps::CoveragePathOptions optionsOf(double swath, double radius, double overlap)
{
  maps::CoveragePathOptions o;
  o.swathWidth = swath;
  o.robotRadius = radius;
  o.overlap = overlap;
  return o;
}

// ------------------------------------------------------------ the checker
//
// Shares no code with the planner: its own distance transform, its own
// reachable part and coverable floor, the band drawn with cv::line.

struct Check
{
  int collisions = 0;  ///< sampled points on a non-free pixel or maybe closer than radius - 0.5 px
  double coveredShare = 0.0;   ///< of the checker's coverable floor
  std::int64_t coverable = 0;  ///< its coverable cells
};

Check check(const cv::Mat & free, const maps::CoveragePath & path, double swathPx, double radiusPx)
{
  Check out;
  cv::Mat padded;
  cv::copyMakeBorder(free == 255, padded, 1, 1, 1, 1, cv::BORDER_CONSTANT, cv::Scalar(0));
  cv::Mat dist;
  cv::distanceTransform(padded, dist, cv::DIST_L2, cv::DIST_MASK_PRECISE, CV_32F);
  dist = dist(cv::Rect(1, 1, free.cols, free.rows)).clone();
  // Collisions: points every 0.05 px. A point lies at least dist(c) - |q - c|
  // from every non-free centre, for any pixel c; the best of the nine pixels
  // about it must keep radius - 0.5, and the pixel it lies on must be free.
  for (std::size_t i = 0; i + 1 < path.poses.size(); ++i) {
    const cv::Point2d a = path.poses[i].pixel;
    const cv::Point2d b = path.poses[i + 1].pixel;
    const int steps = std::max(1, static_cast<int>(std::ceil(cv::norm(b - a) / 0.05)));
    for (int k = 0; k <= steps; ++k) {
      const cv::Point2d q = a + (b - a) * (static_cast<double>(k) / steps);
      double clear = -1.0;
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
          const cv::Point c(cvRound(q.x) + dx, cvRound(q.y) + dy);
          if (c.x >= 0 && c.y >= 0 && c.x < free.cols && c.y < free.rows) {
            clear = std::max(clear, dist.at<float>(c) - cv::norm(q - cv::Point2d(c)));
          }
        }
      }
      const cv::Point on(cvRound(q.x), cvRound(q.y));
      const bool onFree =
        on.x >= 0 && on.y >= 0 && on.x < free.cols && on.y < free.rows && free.at<uchar>(on) == 255;
      if (clear < radiusPx - 0.5 || !onFree) {
        ++out.collisions;
      }
    }
  }
  if (path.poses.empty()) {
    return out;
  }
  // Reachable: free pixel centres keeping the radius, 8-connected to the
  // start.
  cv::Mat keeps = (dist >= radiusPx) & (free == 255);
  cv::Mat labels;
  cv::connectedComponents(keeps, labels, 8, CV_32S);
  const cv::Point s(cvRound(path.poses[0].pixel.x), cvRound(path.poses[0].pixel.y));
  cv::Mat reachable = labels == labels.at<int>(s);
  cv::Mat toReachable;
  cv::distanceTransform(~reachable, toReachable, cv::DIST_L2, cv::DIST_MASK_PRECISE, CV_32F);
  cv::Mat coverable = (toReachable <= swathPx / 2.0) & (free == 255);
  // The band: each segment drawn as a thick line (round caps), sub-pixel.
  cv::Mat swept = cv::Mat::zeros(free.size(), CV_8UC1);
  const int thickness = std::max(1, static_cast<int>(std::lround(swathPx)));
  const auto fixed = [](const cv::Point2d & p) {
    return cv::Point(cvRound(p.x * 16.0), cvRound(p.y * 16.0));
  };
  for (std::size_t i = 0; i + 1 < path.poses.size(); ++i) {
    cv::line(
      swept, fixed(path.poses[i].pixel), fixed(path.poses[i + 1].pixel), cv::Scalar(255), thickness,
      cv::LINE_8, 4);
  }
  out.coverable = cv::countNonZero(coverable);
  out.coveredShare = out.coverable > 0
                       ? cv::countNonZero(swept & coverable) / static_cast<double>(out.coverable)
                       : 0.0;
  return out;
}

// ------------------------------------------------------------ the clearance rule

TEST(CoveragePathClearance, SegmentWalkMatchesThePlainRule)
{
  // Random slack about the thresholds that matter (0.5 for a piece through
  // a centre, sqrt(0.5) for a corner), random segments with ends anywhere,
  // on pixel centres or on the lines between pixels.
  const unsigned seed = 20240612U;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  cv::Mat slack(24, 24, CV_32FC1);
  for (int r = 0; r < slack.rows; ++r) {
    for (int c = 0; c < slack.cols; ++c) {
      const double u = unit(rng);
      slack.at<float>(r, c) =
        u < 0.15 ? -1.0F : static_cast<float>(u < 0.3 ? 0.75 : 0.45 + 0.3 * unit(rng));
    }
  }
  const auto end = [&]() {
    const double x = 1.0 + 21.0 * unit(rng);
    const double y = 1.0 + 21.0 * unit(rng);
    switch (rng() % 3) {
      case 0:
        return cv::Point2d(std::round(x), std::round(y));
      case 1:
        return cv::Point2d(std::round(2.0 * x) / 2.0, std::round(2.0 * y) / 2.0);
      default:
        return cv::Point2d(x, y);
    }
  };
  int clear = 0;
  for (int k = 0; k < 20000; ++k) {
    const cv::Point2d a = end();
    const cv::Point2d b = rng() % 4 == 0 ? a + cv::Point2d(unit(rng) * 3.0, 0.0) : end();
    const bool expected = quorvane::oracle::referenceSegmentClear(slack, a, b);
    ASSERT_EQ(quorvane::coverage_path::segmentClear(slack, a, b), expected)
      << "seed " << seed << " segment " << k << ": " << a << " - " << b;
    clear += expected ? 1 : 0;
    // The clear stretches of the segment are clear, and a clear segment is
    // one stretch, less the inset at both ends.
    const double length = cv::norm(b - a);
    const auto runs = quorvane::coverage_path::clearRuns(slack, a, b, 0.5);
    for (const auto & run : runs) {
      ASSERT_TRUE(
        quorvane::oracle::referenceSegmentClear(slack, a + (b - a) * run.t0, a + (b - a) * run.t1))
        << "seed " << seed << " segment " << k << ": " << a << " - " << b << " run " << run.t0
        << ".." << run.t1;
    }
    if (expected && length > 1.0) {
      ASSERT_EQ(runs.size(), 1U) << "seed " << seed << " segment " << k;
      EXPECT_NEAR(runs[0].t0 * length, 0.5, 1e-9);
      EXPECT_NEAR((1.0 - runs[0].t1) * length, 0.5, 1e-9);
    }
  }
  // Both outcomes were tried often.
  EXPECT_GT(clear, 1000);
  EXPECT_LT(clear, 19000);
}

// ------------------------------------------------------------ hand-made rooms

TEST(CoveragePathRooms, EmptyRectangleSweepsEvenLanes)
{
  // 408 x 112 free pixels. Radius 0.2 m = 4 px: the robot fits where the
  // distance to the nearest non-free centre (the first one outside) is >= 4,
  // from the 4th pixel in: columns 3..404 and rows 3..108, so the lanes span
  // 105 px across. Spacing 0.5 * 0.7 = 7 px: ceil(105 / 7) = 15 gaps of 7 px,
  // 16 lanes on pixel rows. A lane through pixel centres keeps the rule
  // wherever the robot fits: each crosses the squares of columns 3..404 and
  // ends half a pixel inside, at the centres of columns 3 and 404, 401 px;
  // the turns are straight, 7 px each.
  const cv::Mat free = roomOf({408, 112}, {{0, 0, 408, 112}});
  const maps::Map map = mapOf(free);
  const maps::CoveragePath path = maps::planCoveragePath(map, optionsOf(0.5, 0.2, 0.3));
  EXPECT_EQ(path.lanes, 16);
  EXPECT_NEAR(path.laneLength, 16 * 401.0 * kRes, 1e-6);
  EXPECT_NEAR(path.transitLength, 15 * 7.0 * kRes, 1e-6);
  EXPECT_NEAR(path.pathLength, path.laneLength + path.transitLength, 1e-9);
  EXPECT_EQ(path.turns, 2 * 15);
  ASSERT_EQ(path.segments.size(), 16U + 15U);
  // Every cell lies within half a swath (5 px) of the lanes and their turns
  // (a corner cell is sqrt(3^2 + 3^2) = 4.2 px from a lane's end): no wall
  // pass, nothing unreachable.
  EXPECT_EQ(path.wallPasses, 0);
  EXPECT_DOUBLE_EQ(path.coveredShare, 1.0);
  EXPECT_EQ(path.unreachableArea, 0.0);
  // Without a start it begins at the low end of the first lane.
  const cv::Point2d first = path.poses.front().pixel - cv::Point2d(kMargin, kMargin);
  EXPECT_NEAR(std::min(first.x, 407.0 - first.x), 3.0, 1e-6);
  EXPECT_NEAR(std::min(first.y, 111.0 - first.y), 3.0, 1e-6);
  EXPECT_EQ(path.start, path.poses.front().position);
  const Check c = check(free, path, 10.0, 4.0);
  EXPECT_EQ(c.collisions, 0);
  EXPECT_DOUBLE_EQ(c.coveredShare, 1.0);
}

TEST(CoveragePathRooms, CorridorNarrowerThanASwathIsOneLane)
{
  // A corridor 9 px (0.45 m) wide and 300 px long, swath 0.5 m, radius
  // 0.1 m: the robot fits on the rows with distance >= 2 to the walls, rows
  // 1..7. One lane in their middle, row 4, sweeps rows -1..9, all of the
  // corridor: it crosses the squares of columns 1..298 and ends at their
  // centres, 297 px.
  const cv::Mat free = roomOf({300, 9}, {{0, 0, 300, 9}});
  const maps::CoveragePath path = maps::planCoveragePath(mapOf(free), optionsOf(0.5, 0.1, 0.1));
  EXPECT_EQ(path.lanes, 1);
  ASSERT_EQ(path.poses.size(), 2U);
  EXPECT_NEAR(path.pathLength, 297.0 * kRes, 1e-6);
  EXPECT_NEAR(path.poses[0].pixel.y, kMargin + 4.0, 1e-6);
  EXPECT_EQ(path.turns, 0);
  EXPECT_DOUBLE_EQ(path.coveredShare, 1.0);
  const Check c = check(free, path, 10.0, 2.0);
  EXPECT_EQ(c.collisions, 0);
  EXPECT_DOUBLE_EQ(c.coveredShare, 1.0);
}

struct RoomCase
{
  std::string name;
  cv::Size size;
  std::vector<cv::Rect> free;
  std::vector<cv::Rect> obstacles;
  double radius = 0.25;  ///< metres
};

class CoveragePathShapes : public ::testing::TestWithParam<RoomCase>
{
};

TEST_P(CoveragePathShapes, SweepsAllWithoutCollision)
{
  const RoomCase & rc = GetParam();
  cv::Mat free = roomOf(rc.size, rc.free);
  for (const cv::Rect & r : rc.obstacles) {
    free(r + cv::Point(kMargin, kMargin)).setTo(0);
  }
  const maps::CoveragePath path =
    maps::planCoveragePath(mapOf(free), optionsOf(0.5, rc.radius, 0.1));
  const Check c = check(free, path, 10.0, rc.radius / kRes);
  EXPECT_EQ(c.collisions, 0);
  EXPECT_GE(c.coveredShare, 0.99);
  EXPECT_GE(path.coveredShare, 0.99);
  // A sweep is never shorter than area / swath; lanes overlapping by 10 %
  // and the turns and wall passes keep it within a third more here.
  const double ideal = path.coverableArea / 0.5;
  EXPECT_GT(path.pathLength, ideal);
  EXPECT_LT(path.pathLength, 1.4 * ideal);
  EXPECT_NEAR(path.stretch, path.pathLength / ideal, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(
  Hand, CoveragePathShapes,
  ::testing::Values(
    // An L: a 300 x 100 arm over a 100 x 200 leg.
    RoomCase{"L", {300, 300}, {{0, 0, 300, 100}, {0, 100, 100, 200}}, {}},
    // A 300 x 200 room with a 40 x 40 pillar in the middle.
    RoomCase{"Pillar", {300, 200}, {{0, 0, 300, 200}}, {{130, 80, 40, 40}}},
    // The same for a robot of no size: its centre may pass every free pixel
    // and none other (the pillar's pixels keep distance 0 from themselves).
    RoomCase{"PillarPointRobot", {300, 200}, {{0, 0, 300, 200}}, {{130, 80, 40, 40}}, 0.0}),
  [](const auto & param) { return param.param.name; });

TEST(CoveragePathRooms, DoorNarrowerThanTheRobotKeepsTheOtherRoomUnreachable)
{
  // Two 200 x 150 rooms side by side, a 10 px wall between them with a
  // 8 px (0.4 m) door: the robot (0.5 m across) cannot pass. Started in the
  // left room, the path stays there; the right room is unreachable.
  const cv::Mat free = roomOf({410, 150}, {{0, 0, 200, 150}, {210, 0, 200, 150}, {200, 71, 10, 8}});
  maps::Map map = mapOf(free);
  maps::CoveragePathOptions options = optionsOf(0.5, 0.25, 0.1);
  options.start = maps::pixelToWorld(map.frame, {kMargin + 100.0, kMargin + 75.0});
  const maps::CoveragePath path = maps::planCoveragePath(map, options);
  EXPECT_EQ(path.start, *options.start);
  for (const maps::CoveragePose & pose : path.poses) {
    EXPECT_LT(pose.pixel.x, kMargin + 200.0);
  }
  // Unreachable: the right room, all of it; in the left room the corner
  // cell of each corner, sqrt(32) px from (4, 4), where the robot's fitting
  // pixels begin (the cells beside it are 5 px away); some cells of the door.
  EXPECT_EQ(cv::countNonZero(path.unreachable(cv::Rect(kMargin + 210, kMargin, 200, 150))), 30000);
  EXPECT_EQ(cv::countNonZero(path.unreachable(cv::Rect(kMargin, kMargin, 200, 150))), 4);
  const double cells = path.unreachableArea / (kRes * kRes);
  EXPECT_GT(cells, 30004.5);
  EXPECT_LT(cells, 30004.5 + 80);
  EXPECT_GE(path.coveredShare, 0.99);
  EXPECT_EQ(check(free, path, 10.0, 5.0).collisions, 0);
}

TEST(CoveragePathRooms, StartOnAnObstacleNamesTheNearestPointWhereTheRobotFits)
{
  const cv::Mat free = roomOf({200, 100}, {{0, 0, 200, 100}});
  const maps::Map map = mapOf(free);
  maps::CoveragePathOptions options = optionsOf(0.5, 0.25, 0.1);
  // On the wall left of the room, level with its middle row: the nearest
  // pixel where the robot fits (distance >= 5, 5 px in) is 4 px right of
  // the room's first column.
  options.start = maps::pixelToWorld(map.frame, {kMargin - 3.0, kMargin + 50.0});
  const cv::Point2d nearest = maps::pixelToWorld(map.frame, {kMargin + 4.0, kMargin + 50.0});
  try {
    maps::planCoveragePath(map, options);
    ADD_FAILURE() << "no cv::Exception";
  } catch (const cv::Exception & e) {
    EXPECT_EQ(e.code, cv::Error::StsOutOfRange);
    char expected[64];
    std::snprintf(expected, sizeof(expected), "(%g, %g) m", nearest.x, nearest.y);
    EXPECT_NE(e.err.find(expected), std::string::npos) << e.err << " lacks " << expected;
  }
}

// ------------------------------------------------------------ generated and real maps

TEST(CoveragePathChecked, RandomFloorPlans)
{
  const unsigned seed = 20240611U;
  std::mt19937 rng(seed);
  for (int k = 0; k < 6; ++k) {
    const int size = 600 + static_cast<int>(rng() % 700);
    const double angle = static_cast<double>(rng() % 3600) / 10.0;
    const auto planSeed = static_cast<unsigned>(rng());
    SCOPED_TRACE(
      "seed " + std::to_string(seed) + " plan " + std::to_string(k) + ": size " +
      std::to_string(size) + ", angle " + std::to_string(angle) + ", plan seed " +
      std::to_string(planSeed));
    const cv::Mat plan = quorvane::tools::makeSampleFloorPlan({size, size}, angle, planSeed);
    const maps::Map map = mapOf(plan);
    const maps::CoveragePath path = maps::planCoveragePath(map, optionsOf(0.5, 0.25, 0.1));
    const Check c = check(plan, path, 10.0, 5.0);
    EXPECT_EQ(c.collisions, 0);
    EXPECT_GE(c.coveredShare, 0.99);
    EXPECT_GE(path.coveredShare, 0.99);
    // The same map and options, the same path.
    const maps::CoveragePath again = maps::planCoveragePath(map, optionsOf(0.5, 0.25, 0.1));
    ASSERT_EQ(again.poses.size(), path.poses.size());
    for (std::size_t i = 0; i < path.poses.size(); ++i) {
      ASSERT_EQ(again.poses[i].pixel, path.poses[i].pixel) << "pose " << i;
    }
  }
}

TEST(CoveragePathChecked, RealMaps)
{
  const auto dir = quorvane::test::testMapsDir();
  if (dir.empty()) {
    GTEST_SKIP() << "QUORVANE_TEST_MAPS_DIR is not set";
  }
  for (const char * name :
       {"tb3_sandbox", "depot", "warehouse", "smoothers_world", "aws_warehouse", "willow_2010",
        "willow_full", "uos_avz5_open", "mrpt_demo_world2"}) {
    SCOPED_TRACE(name);
    const maps::Map map = maps::loadMap((dir / (std::string(name) + ".yaml")).string());
    const maps::CoveragePath path = maps::planCoveragePath(map, optionsOf(0.5, 0.25, 0.1));
    const double res = map.frame.resolution;
    const Check c = check(map.free, path, 0.5 / res, 0.25 / res);
    EXPECT_EQ(c.collisions, 0);
    std::printf(
      "%-18s coverable %8.1f m2  covered %.4f (checker %.4f)  stretch %.2f  lanes %d  "
      "wall passes %d  turns %d  unreachable %.1f m2\n",
      name, path.coverableArea, path.coveredShare, c.coveredShare, path.stretch, path.lanes,
      path.wallPasses, path.turns, path.unreachableArea);
  }
}

// ------------------------------------------------------------ messages

TEST(CoveragePathMessages, PathCarriesThePosesAndTheirYaws)
{
  const cv::Mat free = roomOf({120, 60}, {{0, 0, 120, 60}});
  maps::Map map = mapOf(free);
  map.frame.originYaw = 0.3;
  map.frame.frameId = "floor";
  const maps::CoveragePath path = maps::planCoveragePath(map, optionsOf(0.5, 0.25, 0.1));
  const nav_msgs::msg::Path msg = maps::toPath(map.frame, path);
  ASSERT_EQ(msg.poses.size(), path.poses.size());
  EXPECT_EQ(msg.header.frame_id, "floor");
  for (std::size_t i = 0; i < path.poses.size(); ++i) {
    const auto & p = msg.poses[i].pose;
    EXPECT_DOUBLE_EQ(p.position.x, path.poses[i].position.x);
    EXPECT_DOUBLE_EQ(p.position.y, path.poses[i].position.y);
    EXPECT_NEAR(2.0 * std::atan2(p.orientation.z, p.orientation.w), path.poses[i].yaw, 1e-9);
    if (i + 1 < path.poses.size()) {
      // The yaw faces the next pose, in metres of the map frame.
      const cv::Point2d d = path.poses[i + 1].position - path.poses[i].position;
      EXPECT_NEAR(std::remainder(std::atan2(d.y, d.x) - path.poses[i].yaw, 2.0 * CV_PI), 0.0, 1e-9);
    }
  }
}

// ------------------------------------------------------------ bad input

TEST(CoveragePathBadInput, ThrowsOutOfRangeBeforeAnyWork)
{
  const maps::Map map = mapOf(roomOf({100, 100}, {{0, 0, 100, 100}}));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Bad
  {
    const char * what;
    maps::CoveragePathOptions options;
  };
  std::vector<Bad> cases = {
    {"swath 0", optionsOf(0.0, 0.25, 0.1)},       {"swath < 0", optionsOf(-1.0, 0.25, 0.1)},
    {"swath NaN", optionsOf(nan, 0.25, 0.1)},     {"swath inf", optionsOf(inf, 0.25, 0.1)},
    {"radius < 0", optionsOf(0.5, -0.1, 0.1)},    {"radius NaN", optionsOf(0.5, nan, 0.1)},
    {"radius inf", optionsOf(0.5, inf, 0.1)},     {"overlap < 0", optionsOf(0.5, 0.25, -0.1)},
    {"overlap 1", optionsOf(0.5, 0.25, 1.0)},     {"overlap NaN", optionsOf(0.5, 0.25, nan)},
    {"start outside", optionsOf(0.5, 0.25, 0.1)}, {"start NaN", optionsOf(0.5, 0.25, 0.1)},
  };
  cases[10].options.start = cv::Point2d(-100.0, 0.0);
  cases[11].options.start = cv::Point2d(nan, 0.0);
  const maps::AlignedMap aligned = maps::alignMap(map.free);
  for (const Bad & b : cases) {
    SCOPED_TRACE(b.what);
    quorvane::test::expectCvError(
      [&] { maps::planCoveragePath(map, b.options); }, cv::Error::StsOutOfRange);
    quorvane::test::expectCvError(
      [&] { maps::planCoveragePath(aligned, map.frame, b.options); }, cv::Error::StsOutOfRange);
  }
}

}  // namespace
