// The stateless operations called from several threads at once on shared
// inputs, each thread with outputs of its own, and getInnerRect on separate
// objects in parallel. Every thread's results must equal a single-threaded
// reference; under ThreadSanitizer (QUORVANE_SANITIZE=thread) no data race
// may be reported.
//
// OpenCV runs its filters, warp and edge detection on its own worker pool
// (TBB in Debian's build). When two of our threads call cv::Canny at once,
// TBB lets a thread that waits for its own parallel loop run a piece of the
// other thread's loop; the hand-back happens through TBB's uninstrumented
// atomics, which ThreadSanitizer cannot see, so it reports Canny's internal
// edge stack (written under Canny's mutex by one thread, freed by its owner)
// as a race although TBB orders the two. That is OpenCV's pool, not this
// library: the test switches OpenCV's threading off (cv::setNumThreads(0),
// every OpenCV call runs on the thread that makes it), which leaves exactly
// the concurrency this library is responsible for: our threads calling our
// operations at once on shared inputs.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "CurvatureAnalyzer.hpp"
#include "Rotator.hpp"
#include "SimplifyPath.hpp"
#include "get_special_points.hpp"
#include "sample_floor_plan.hpp"

namespace
{

/// OpenCV's own pool off for the whole program (see the note at the top).
class OpenCvOnCallingThreads : public ::testing::Environment
{
public:
  void SetUp() override { cv::setNumThreads(0); }
};

const ::testing::Environment * const kOpenCvOnCallingThreads =
  ::testing::AddGlobalTestEnvironment(new OpenCvOnCallingThreads);

constexpr int kThreads = 4;
constexpr int kRounds = 3;

/// Runs work(t) on kThreads threads released together, so the calls overlap.
void runTogether(const std::function<void(int)> & work)
{
  std::atomic<int> waiting{kThreads};
  std::vector<std::thread> threads;
  threads.reserve(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&work, &waiting, t] {
      waiting.fetch_sub(1);
      while (waiting.load() > 0) {
        std::this_thread::yield();
      }
      work(t);
    });
  }
  for (std::thread & thread : threads) {
    thread.join();
  }
}

bool samePixels(const cv::Mat & a, const cv::Mat & b)
{
  return a.size() == b.size() && a.type() == b.type() &&
         (a.empty() || cv::norm(a, b, cv::NORM_INF) == 0.0);
}

bool sameBits(const std::vector<cv::Point2f> & a, const std::vector<cv::Point2f> & b)
{
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(cv::Point2f)) == 0);
}

const cv::Mat & floorPlan()
{
  static const cv::Mat plan = quorvane::tools::makeSampleFloorPlan({240, 160}, 17.0, 3);
  return plan;
}

/// A skeleton with many junctions: a lattice of thin lines, some diagonal.
cv::Mat lattice()
{
  cv::Mat image = cv::Mat::zeros(120, 160, CV_8UC1);
  for (int x = 10; x < 160; x += 23) {
    cv::line(image, {x, 0}, {x, 119}, cv::Scalar(255), 1, cv::LINE_8);
  }
  for (int y = 7; y < 120; y += 19) {
    cv::line(image, {0, y}, {159, y}, cv::Scalar(255), 1, cv::LINE_8);
  }
  cv::line(image, {0, 0}, {119, 119}, cv::Scalar(255), 1, cv::LINE_8);
  return image;
}

std::vector<cv::Point> walk(unsigned seed, size_t n)
{
  cv::RNG rng(seed);
  std::vector<cv::Point> points;
  cv::Point p(0, 0);
  for (size_t i = 0; i < n; ++i) {
    p += cv::Point(rng.uniform(-3, 7), rng.uniform(-5, 5));
    points.push_back(p);
  }
  return points;
}

nav_msgs::msg::Path pathOf(const std::vector<cv::Point> & points)
{
  nav_msgs::msg::Path path;
  path.header.frame_id = "map";
  for (const cv::Point & p : points) {
    geometry_msgs::msg::PoseStamped pose;
    pose.header.frame_id = "map";
    pose.pose.position.x = p.x * 0.05;
    pose.pose.position.y = p.y * 0.05;
    path.poses.push_back(pose);
  }
  return path;
}

TEST(Concurrency, JunctionsOnOneSharedObject)
{
  const cv::Mat skeleton = lattice();
  const cv::Mat view = skeleton(cv::Rect(5, 3, 140, 110));
  get_special_points shared;
  std::vector<cv::Point> reference;
  std::vector<cv::Point> viewReference;
  shared.SkeletonGetJunctionPt(skeleton, reference);
  shared.SkeletonGetJunctionPt(view, viewReference);

  std::vector<std::vector<cv::Point>> results(kThreads);
  std::vector<std::vector<cv::Point>> viewResults(kThreads);
  runTogether([&](int t) {
    for (int round = 0; round < kRounds; ++round) {
      shared.SkeletonGetJunctionPt(skeleton, results[t]);
      shared.SkeletonGetJunctionPt(view, viewResults[t]);
    }
  });
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(results[t], reference) << "thread " << t;
    EXPECT_EQ(viewResults[t], viewReference) << "thread " << t;
  }
  EXPECT_TRUE(shared.mask.empty());
}

struct RotatorResults
{
  double direction = 0.0;
  cv::Point lo, hi;
  cv::Mat matrix;
  cv::Rect bounds;
  double angle = 0.0;
  cv::Mat rotated;
  std::vector<cv::Point2f> back;
  std::vector<cv::Point2f> appended;
};

RotatorResults runRotator(
  Rotator & rotator, const cv::Mat & plan, const std::vector<cv::Point2f> & pts)
{
  RotatorResults r;
  r.direction = rotator.computeImageMainDirection(plan);
  rotator.getMinMaxCoordinates(plan, r.lo, r.hi);
  r.angle = rotator.computeImageRotationMatrix(plan, r.matrix, r.bounds, nullptr, 0.1);
  rotator.rotateImage(plan, r.rotated, r.matrix, r.bounds);
  rotator.transformPathBackToOriginalRotation(pts, r.back, r.matrix);
  r.appended = {{-1.0F, -1.0F}};
  rotator.transformPointPathToPosePath(pts, r.appended);
  rotator.transformPointPathToPosePath(r.appended);
  return r;
}

TEST(Concurrency, RotatorOnOneSharedObject)
{
  const cv::Mat & plan = floorPlan();
  const std::vector<cv::Point2f> points = {{0.0F, 0.0F}, {120.5F, 80.25F}, {239.0F, 159.0F}};
  Rotator shared;
  const RotatorResults reference = runRotator(shared, plan, points);

  std::vector<RotatorResults> results(kThreads);
  runTogether([&](int t) {
    for (int round = 0; round < kRounds; ++round) {
      results[t] = runRotator(shared, plan, points);
    }
  });
  for (int t = 0; t < kThreads; ++t) {
    SCOPED_TRACE(t);
    const RotatorResults & r = results[t];
    EXPECT_EQ(r.direction, reference.direction);
    EXPECT_EQ(r.lo, reference.lo);
    EXPECT_EQ(r.hi, reference.hi);
    EXPECT_TRUE(samePixels(r.matrix, reference.matrix));
    EXPECT_EQ(r.bounds, reference.bounds);
    EXPECT_EQ(r.angle, reference.angle);
    EXPECT_TRUE(samePixels(r.rotated, reference.rotated));
    EXPECT_TRUE(sameBits(r.back, reference.back));
    EXPECT_TRUE(sameBits(r.appended, reference.appended));
  }
}

TEST(Concurrency, SimplifyPolylineOnOneSharedObject)
{
  const std::vector<cv::Point> input = walk(11, 4000);
  SimplifyPath shared;
  std::vector<cv::Point> reference;
  shared.douglasPeucker(input, 2.0, 1.0, reference);

  std::vector<std::vector<cv::Point>> results(kThreads);
  runTogether([&](int t) {
    for (int round = 0; round < kRounds; ++round) {
      results[t].clear();
      shared.douglasPeucker(input, 2.0, 1.0, results[t]);
    }
  });
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(results[t], reference) << "thread " << t;
  }
}

TEST(Concurrency, SimplifyPathOnOneSharedObject)
{
  const nav_msgs::msg::Path input = pathOf(walk(12, 3000));
  SimplifyPath shared;
  nav_msgs::msg::Path reference;
  shared.douglasPeucker(input, 0.1, reference);

  std::vector<nav_msgs::msg::Path> results(kThreads);
  runTogether([&](int t) {
    for (int round = 0; round < kRounds; ++round) {
      results[t] = nav_msgs::msg::Path();
      shared.douglasPeucker(input, 0.1, results[t]);
    }
  });
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(results[t], reference) << "thread " << t;
  }
}

TEST(Concurrency, CurvatureOnOneSharedObject)
{
  const std::vector<cv::Point> input = walk(13, 20000);
  CurvatureAnalyzer shared;
  const cv::Point reference = shared.findMaxCurvaturePoint(input);
  const double referenceValue = shared.curvature(input[0], input[1], input[2]);

  std::vector<cv::Point> results(kThreads);
  std::vector<double> values(kThreads);
  runTogether([&](int t) {
    for (int round = 0; round < kRounds; ++round) {
      results[t] = shared.findMaxCurvaturePoint(input);
      values[t] = shared.curvature(input[0], input[1], input[2]);
    }
  });
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(results[t], reference) << "thread " << t;
    EXPECT_EQ(values[t], referenceValue) << "thread " << t;
  }
}

TEST(Concurrency, InnerRectOnSeparateObjects)
{
  const cv::Mat & plan = floorPlan();
  get_special_points single;
  std::vector<cv::Point2f> reference;
  single.getInnerRect(plan, reference, 6.0);
  ASSERT_EQ(reference.size(), 5U);

  std::vector<get_special_points> objects(kThreads);
  std::vector<std::vector<cv::Point2f>> results(kThreads);
  runTogether([&](int t) {
    for (int round = 0; round < kRounds; ++round) {
      results[t].clear();
      objects[t].getInnerRect(plan, results[t], 6.0);
    }
  });
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_TRUE(sameBits(results[t], reference)) << "thread " << t;
    EXPECT_TRUE(samePixels(objects[t].mask, single.mask)) << "thread " << t;
  }
}

TEST(Concurrency, AllOperationsAtOnce)
{
  // One thread per kind of operation, all on shared inputs at the same time.
  const cv::Mat & plan = floorPlan();
  const cv::Mat skeleton = lattice();
  const std::vector<cv::Point> polyline = walk(14, 3000);
  get_special_points sharedJunctions;
  std::vector<cv::Point> junctionsRef;
  sharedJunctions.SkeletonGetJunctionPt(skeleton, junctionsRef);
  std::vector<cv::Point2f> rectRef;
  get_special_points().getInnerRect(plan, rectRef, 8.0);
  std::vector<cv::Point> simplifiedRef;
  SimplifyPath().douglasPeucker(polyline, 1.5, -1.0, simplifiedRef);
  const cv::Point sharpestRef = CurvatureAnalyzer().findMaxCurvaturePoint(polyline);

  std::vector<cv::Point> junctions;
  std::vector<cv::Point2f> rect;
  std::vector<cv::Point> simplified;
  cv::Point sharpest;
  runTogether([&](int t) {
    switch (t % 4) {
      case 0:
        sharedJunctions.SkeletonGetJunctionPt(skeleton, junctions);
        break;
      case 1:
        get_special_points().getInnerRect(plan, rect, 8.0);
        break;
      case 2:
        SimplifyPath().douglasPeucker(polyline, 1.5, -1.0, simplified);
        break;
      default:
        sharpest = CurvatureAnalyzer().findMaxCurvaturePoint(polyline);
        break;
    }
  });
  EXPECT_EQ(junctions, junctionsRef);
  EXPECT_TRUE(sameBits(rect, rectRef));
  EXPECT_EQ(simplified, simplifiedRef);
  EXPECT_EQ(sharpest, sharpestRef);
}

}  // namespace
