// Rotator on a 4000 x 4000 synthetic floor plan with walls at 17 degrees.
//
// Besides the public operations, the steps of computeImageRotationMatrix +
// rotateImage are timed on their own (Canny, the Hough vote ladder, the
// histogram, the warp with its threshold) so that their shares can be read
// side by side, with a plain memory pass over the image as the floor.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <climits>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "Rotator.hpp"
#include "direction.hpp"
#include "rotation.hpp"
#include "sample_floor_plan.hpp"

namespace
{

const cv::Mat & floorPlan()
{
  // One OpenCV thread: the machine is shared, and the step shares then add up
  // to the whole call's CPU time.
  static const bool singleThreaded = (cv::setNumThreads(1), true);
  (void)singleThreaded;
  static const cv::Mat plan = quorvane::tools::makeSampleFloorPlan({4000, 4000}, 17.0, 7);
  return plan;
}

const cv::Mat & edgesOfPlan()
{
  static const cv::Mat edges = [] {
    cv::Mat e;
    cv::Canny(floorPlan(), e, 50.0, 150.0, 3, false);
    return e;
  }();
  return edges;
}

void houghLadder(const cv::Mat & edges, std::vector<cv::Vec4i> & segments)
{
  quorvane::direction::detectSegmentsWithFallingVotes(
    [&edges](const quorvane::direction::HoughAttempt & a, std::vector<cv::Vec4i> & out) {
      cv::HoughLinesP(edges, out, 1.0, CV_PI / 180.0, a.votes, a.minLength, a.maxGap);
    },
    segments);
}

const std::vector<cv::Vec4i> & segmentsOfPlan()
{
  static const std::vector<cv::Vec4i> segments = [] {
    std::vector<cv::Vec4i> s;
    houghLadder(edgesOfPlan(), s);
    return s;
  }();
  return segments;
}

// ---------------------------------------------------------------- public operations

void BM_MainDirection(benchmark::State & state)
{
  Rotator rotator;
  for (auto _ : state) {
    benchmark::DoNotOptimize(rotator.computeImageMainDirection(floorPlan()));
  }
}
BENCHMARK(BM_MainDirection)->Unit(benchmark::kMillisecond);

void BM_RotationMatrixAndImage(benchmark::State & state)
{
  Rotator rotator;
  cv::Mat matrix;
  cv::Rect bounds;
  cv::Mat rotated;
  for (auto _ : state) {
    rotator.computeImageRotationMatrix(floorPlan(), matrix, bounds, nullptr, 0.0);
    rotator.rotateImage(floorPlan(), rotated, matrix, bounds);
    benchmark::DoNotOptimize(rotated.data);
  }
}
BENCHMARK(BM_RotationMatrixAndImage)->Unit(benchmark::kMillisecond);

void BM_BoundingBox(benchmark::State & state)
{
  Rotator rotator;
  cv::Point lo;
  cv::Point hi;
  for (auto _ : state) {
    rotator.getMinMaxCoordinates(floorPlan(), lo, hi);
    benchmark::DoNotOptimize(lo);
    benchmark::DoNotOptimize(hi);
  }
}
BENCHMARK(BM_BoundingBox)->Unit(benchmark::kMillisecond);

/// Worst case of the row search: no 255 anywhere, every row searched whole.
void BM_BoundingBoxNoMarkedPixel(benchmark::State & state)
{
  const cv::Mat empty = cv::Mat::zeros(floorPlan().size(), CV_8UC1);
  Rotator rotator;
  cv::Point lo;
  cv::Point hi;
  for (auto _ : state) {
    rotator.getMinMaxCoordinates(empty, lo, hi);
    benchmark::DoNotOptimize(lo);
    benchmark::DoNotOptimize(hi);
  }
}
BENCHMARK(BM_BoundingBoxNoMarkedPixel)->Unit(benchmark::kMillisecond);

/// The literal scan (a comparison per pixel), for the speed-up of the row search.
void BM_BoundingBoxPerPixel(benchmark::State & state)
{
  const cv::Mat & img = floorPlan();
  for (auto _ : state) {
    cv::Point lo(INT_MAX, INT_MAX);
    cv::Point hi(0, 0);
    for (int y = 0; y < img.rows; ++y) {
      const uchar * row = img.ptr<uchar>(y);
      for (int x = 0; x < img.cols; ++x) {
        if (row[x] == 255) {
          lo = {std::min(lo.x, x), std::min(lo.y, y)};
          hi = {std::max(hi.x, x), std::max(hi.y, y)};
        }
      }
    }
    benchmark::DoNotOptimize(lo);
    benchmark::DoNotOptimize(hi);
  }
}
BENCHMARK(BM_BoundingBoxPerPixel)->Unit(benchmark::kMillisecond);

/// Floor: one plain pass over the same bytes.
void BM_MemoryPassCountNonZero(benchmark::State & state)
{
  for (auto _ : state) {
    benchmark::DoNotOptimize(cv::countNonZero(floorPlan()));
  }
}
BENCHMARK(BM_MemoryPassCountNonZero)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------- steps

void BM_StepCanny(benchmark::State & state)
{
  cv::Mat edges;
  for (auto _ : state) {
    cv::Canny(floorPlan(), edges, 50.0, 150.0, 3, false);
    benchmark::DoNotOptimize(edges.data);
  }
}
BENCHMARK(BM_StepCanny)->Unit(benchmark::kMillisecond);

void BM_StepHoughLadder(benchmark::State & state)
{
  std::vector<cv::Vec4i> segments;
  for (auto _ : state) {
    houghLadder(edgesOfPlan(), segments);
    benchmark::DoNotOptimize(segments.data());
  }
  state.counters["segments"] = static_cast<double>(segments.size());
}
BENCHMARK(BM_StepHoughLadder)->Unit(benchmark::kMillisecond);

void BM_StepHistogram(benchmark::State & state)
{
  for (auto _ : state) {
    quorvane::direction::DirectionHistogram histogram;
    for (const cv::Vec4i & s : segmentsOfPlan()) {
      histogram.addSegment(s);
    }
    benchmark::DoNotOptimize(histogram.meanDirectionOfHeaviestBin());
  }
}
BENCHMARK(BM_StepHistogram)->Unit(benchmark::kMicrosecond);

void BM_StepWarpAndThreshold(benchmark::State & state)
{
  Rotator rotator;
  cv::Mat matrix;
  cv::Rect bounds;
  rotator.computeImageRotationMatrix(floorPlan(), matrix, bounds, nullptr, 0.0);
  cv::Mat rotated;
  for (auto _ : state) {
    rotator.rotateImage(floorPlan(), rotated, matrix, bounds);
    benchmark::DoNotOptimize(rotated.data);
  }
}
BENCHMARK(BM_StepWarpAndThreshold)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------- large maps

/// A strip of the plan 100 rows high, repeated @p copies times along x: a map
/// of copies x 4000 pixels with real walls.
cv::Mat stripOfPlan(int copies)
{
  const cv::Mat strip = floorPlan()(cv::Rect(0, 1950, 4000, 100));
  cv::Mat map;
  cv::repeat(strip, 1, copies, map);
  return map;
}

/// Main direction of a 32000 x 100 map (searched at once) and of a 40000 x
/// 100 one (in two tiles of 20000): per pixel they should cost alike.
void BM_MainDirectionOfStrip(benchmark::State & state)
{
  const cv::Mat map = stripOfPlan(static_cast<int>(state.range(0)));
  Rotator rotator;
  for (auto _ : state) {
    benchmark::DoNotOptimize(rotator.computeImageMainDirection(map));
  }
  state.counters["px"] = static_cast<double>(map.total());
}
BENCHMARK(BM_MainDirectionOfStrip)->Arg(8)->Arg(10)->Unit(benchmark::kMillisecond);

/// The plan's main direction searched at once (0) and in tiles of at most
/// 2000 x 2000 (four tiles), for the cost of the tiles themselves.
void BM_MainDirectionTiled(benchmark::State & state)
{
  const int tile = state.range(0) == 0 ? quorvane::direction::kMaxHoughSide : 2000;
  for (auto _ : state) {
    benchmark::DoNotOptimize(quorvane::direction::mainDirection(floorPlan(), tile));
  }
}
BENCHMARK(BM_MainDirectionTiled)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

/// The plan's warp onto its main direction by cv::warpAffine (0) and by the
/// tiled warp (1, forced by a source limit below the plan's size): the same
/// pixels.
void BM_WarpTiled(benchmark::State & state)
{
  Rotator rotator;
  cv::Mat matrix;
  cv::Rect bounds;
  rotator.computeImageRotationMatrix(floorPlan(), matrix, bounds, nullptr, 0.0);
  const int limit = state.range(0) == 0 ? quorvane::rotation::kMaxWarpSourceSide : 2000;
  cv::Mat rotated;
  for (auto _ : state) {
    quorvane::rotation::warpAndBinarise(floorPlan(), matrix, bounds.size(), rotated, limit);
    benchmark::DoNotOptimize(rotated.data);
  }
}
BENCHMARK(BM_WarpTiled)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
