#include "inspect.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <future>

#include <opencv2/imgproc.hpp>

#include "CurvatureAnalyzer.hpp"
#include "SimplifyPath.hpp"
#include "get_special_points.hpp"

namespace quorvane
{
namespace tools
{
namespace
{

/// Runs @p step and appends its wall-clock time to @p times.
template <typename Step>
void timed(StepTimes & times, const char * name, Step && step)
{
  const auto start = std::chrono::steady_clock::now();
  step();
  const std::chrono::duration<double, std::milli> elapsed =
    std::chrono::steady_clock::now() - start;
  times.emplace_back(name, elapsed.count());
}

double legLength(const cv::Point & a, const cv::Point & b)
{
  return std::hypot(static_cast<double>(b.x - a.x), static_cast<double>(b.y - a.y));
}

/// The farthest junction pair in map pixels, or nothing when the library
/// reports fewer than two junction pixels (the pair (0, 0), (0, 0)).
std::vector<cv::Point> farthestJunctions(const Skeleton & skeleton)
{
  if (skeleton.image.empty()) {
    return {};
  }
  get_special_points finder;
  std::vector<cv::Point> pair;
  finder.SkeletonGetJunctionPt(skeleton.image, pair);
  if (pair.size() != 2 || pair[0] == pair[1]) {
    return {};
  }
  return {skeleton.toMap(pair[0]), skeleton.toMap(pair[1])};
}

}  // namespace

std::vector<cv::Point> largestFreeBoundary(const cv::Mat & free)
{
  std::vector<std::vector<cv::Point>> contours;
  cv::findContours(free, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
  std::vector<cv::Point> largest;
  double largestArea = -1.0;
  for (auto & contour : contours) {
    const double area = cv::contourArea(contour);
    if (area > largestArea) {
      largestArea = area;
      largest = std::move(contour);
    }
  }
  return largest;
}

std::vector<cv::Point> simplifyClosedBoundary(
  const std::vector<cv::Point> & boundary, double epsilonPx, double minChordPx)
{
  if (boundary.empty()) {
    return {};
  }
  std::vector<cv::Point> closed = boundary;
  closed.push_back(boundary.front());
  SimplifyPath simplifier;
  std::vector<cv::Point> simplified;
  simplifier.douglasPeucker(closed, epsilonPx, minChordPx, simplified);
  return simplified;
}

SharpestVertex sharpestVertexOfClosedPolygon(const std::vector<cv::Point> & closed)
{
  SharpestVertex best;
  if (closed.size() < 2) {
    return best;
  }
  // 1. prepend the last distinct vertex, so that every vertex is an interior
  //    point of the polyline exactly once: v[n-1], v[0], v[1], ..., v[n-1], v[0]
  const std::size_t n = closed.size() - 1;
  std::vector<cv::Point> ring;
  ring.reserve(n + 2);
  ring.push_back(closed[n - 1]);
  ring.insert(ring.end(), closed.begin(), closed.end());
  // 2. the library's sharpest point
  CurvatureAnalyzer analyzer;
  const cv::Point sharpest = analyzer.findMaxCurvaturePoint(ring);
  // 3. its occurrence (a boundary may pass a pixel twice) and its curvature;
  //    (0, 0) is also the library's "none", told apart by a zero curvature
  for (std::size_t i = 1; i + 1 < ring.size(); ++i) {
    if (ring[i] != sharpest) {
      continue;
    }
    const double k = analyzer.curvature(ring[i - 1], ring[i], ring[i + 1]);
    if (k > best.curvature) {
      best.found = true;
      best.point = ring[i];
      best.curvature = k;
      best.turnAngle =
        k * std::min(legLength(ring[i - 1], ring[i]), legLength(ring[i], ring[i + 1]));
    }
  }
  return best;
}

Inspection inspectMap(const cv::Mat & free, const InspectOptions & options)
{
  CV_CheckTypeEQ(free.type(), CV_8UC1, "free space must be CV_8UC1");
  Inspection r;
  // The skeleton needs nothing the alignment gives: it is thinned on a second
  // thread meanwhile (the library's calls are reentrant). Its steps keep
  // their own times; the report lists every step in a fixed order.
  StepTimes skeletonTimes;
  std::future<void> skeleton = std::async(std::launch::async, [&] {
    // The cleaning runs inside the skeleton step: its time is reported apart.
    double cleaningMs = 0.0;
    timed(skeletonTimes, "thinning", [&] {
      r.skeleton =
        thinFreeSpace(free, options.skeletonMaxSide, options.minRegionAreaPx, &cleaningMs);
    });
    skeletonTimes.back().second -= cleaningMs;
    skeletonTimes.insert(skeletonTimes.begin(), {"cleaning", cleaningMs});
    timed(skeletonTimes, "junctions", [&] { r.junctions = farthestJunctions(r.skeleton); });
  });
  StepTimes & t = r.timesMs;
  // 1. image alignment, once: main direction, rotation, rotated map, and the
  //    grid of cells every later step reads
  timed(t, "alignment", [&] { r.aligned = maps::alignMap(free); });
  timed(t, "cell_grid", [&] { maps::testCells(r.aligned, options.cellSizePx); });
  // 2. the largest block of passing cells
  timed(t, "inner_rectangle", [&] { r.rectangle = maps::innerRectangle(r.aligned); });
  // 3. the whole free space as blocks of cells on the same grid
  timed(t, "coverage", [&] {
    r.coverage =
      maps::coverageRectangles(r.aligned, options.coverageMinCells, options.coverageMaxRectangles);
  });
  // 4. the coverage path, planned on the same alignment
  if (options.coveragePath) {
    timed(t, "coverage_path", [&] {
      maps::MapFrame frame = options.frame;
      frame.width = free.cols;
      frame.height = free.rows;
      r.coveragePath = maps::planCoveragePath(r.aligned, frame, *options.coveragePath);
    });
  }
  // 5. boundary of the largest free region, simplified, and its sharpest vertex
  StepTimes boundaryTimes;
  timed(boundaryTimes, "boundary", [&] { r.boundary = largestFreeBoundary(free); });
  timed(boundaryTimes, "simplification", [&] {
    r.simplified = simplifyClosedBoundary(r.boundary, options.epsilonPx, options.minChordPx);
  });
  timed(
    boundaryTimes, "curvature", [&] { r.sharpest = sharpestVertexOfClosedPolygon(r.simplified); });
  // 6. the skeleton and its farthest junction pair, from the second thread
  skeleton.get();
  t.insert(t.end(), skeletonTimes.begin(), skeletonTimes.end());
  t.insert(t.end(), boundaryTimes.begin(), boundaryTimes.end());
  return r;
}

}  // namespace tools
}  // namespace quorvane
