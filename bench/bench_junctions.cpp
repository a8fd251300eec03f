// Junction detection and farthest pair: the bit-plane lookup-table pass against
// the reference twelve hit-or-miss passes, a plain per-pixel table loop (its
// baseline) and one plain memory pass
// (cv::countNonZero) on a 4000x4000 skeleton, and the hull pair search on a
// filled 2000x2000 square (about four million junction pixels). Compare the
// figures of one run as ratios.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "get_special_points.hpp"
#include "junctions.hpp"
#include "reference_junctions.hpp"

namespace
{

// 4000x4000 line drawing: random one-pixel lines, crossing each other.
const cv::Mat & skeleton4000()
{
  static const cv::Mat img = [] {
    cv::Mat m = cv::Mat::zeros(4000, 4000, CV_8UC1);
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> coord(0, 3999);
    for (int k = 0; k < 150; ++k) {
      cv::line(
        m, {coord(rng), coord(rng)}, {coord(rng), coord(rng)}, cv::Scalar(255), 1, cv::LINE_8);
    }
    return m;
  }();
  return img;
}

const cv::Mat & filledSquare2000()
{
  static const cv::Mat img(2000, 2000, CV_8UC1, cv::Scalar(255));
  return img;
}

using quorvane::oracle::referenceJunctionPixels;

// Every figure is single-threaded, like the library.
void singleThreaded() { cv::setNumThreads(1); }

void BM_Skeleton4000_LiteralTwelveKernels(benchmark::State & state)
{
  singleThreaded();
  for (auto _ : state) {
    benchmark::DoNotOptimize(referenceJunctionPixels(skeleton4000()));
  }
}

void BM_Skeleton4000_LookupTablePass(benchmark::State & state)
{
  singleThreaded();
  std::vector<cv::Point> points;
  for (auto _ : state) {
    points.clear();
    quorvane::junctions::collectJunctionPixels(skeleton4000(), points);
    benchmark::DoNotOptimize(points.data());
  }
  state.counters["junctions"] = static_cast<double>(points.size());
  state.counters["set_pixels"] = cv::countNonZero(skeleton4000());
}

/// The plain formulation the bit planes replace: every interior set pixel's
/// eight neighbours read one by one into a code, then the same table.
void plainTableLoop(const cv::Mat & skeleton, std::vector<cv::Point> & out)
{
  const auto & table = quorvane::junctions::junctionLookupTable();
  for (int y = 1; y + 1 < skeleton.rows; ++y) {
    const uchar * above = skeleton.ptr<uchar>(y - 1);
    const uchar * row = skeleton.ptr<uchar>(y);
    const uchar * below = skeleton.ptr<uchar>(y + 1);
    for (int x = 1; x + 1 < skeleton.cols; ++x) {
      if (row[x] == 0) {
        continue;
      }
      const unsigned code = (above[x - 1] != 0) << 0 | (above[x] != 0) << 1 |
                            (above[x + 1] != 0) << 2 | (row[x - 1] != 0) << 3 |
                            (row[x + 1] != 0) << 4 | (below[x - 1] != 0) << 5 |
                            (below[x] != 0) << 6 | (below[x + 1] != 0) << 7;
      if (table[code] != 0) {
        out.emplace_back(x, y);
      }
    }
  }
}

void BM_Skeleton4000_PlainTableLoop(benchmark::State & state)
{
  singleThreaded();
  std::vector<cv::Point> points;
  for (auto _ : state) {
    points.clear();
    plainTableLoop(skeleton4000(), points);
    benchmark::DoNotOptimize(points.data());
  }
  std::vector<cv::Point> fast;
  quorvane::junctions::collectJunctionPixels(skeleton4000(), fast);
  state.counters["same_result"] = fast == points ? 1 : 0;
}

void BM_Skeleton4000_CountNonZero(benchmark::State & state)
{
  singleThreaded();
  for (auto _ : state) {
    benchmark::DoNotOptimize(cv::countNonZero(skeleton4000()));
  }
}

void BM_FilledSquare2000_PairSearch(benchmark::State & state)
{
  std::vector<cv::Point> points;
  quorvane::junctions::collectJunctionPixels(filledSquare2000(), points);
  quorvane::junctions::IndexPair pair{0, 0};
  for (auto _ : state) {
    benchmark::DoNotOptimize(quorvane::junctions::farthestPairInRasterOrder(points, pair));
  }
  state.counters["junctions"] = static_cast<double>(points.size());
}

void BM_FilledSquare2000_WholeCall(benchmark::State & state)
{
  get_special_points gsp;
  std::vector<cv::Point> junctions;
  for (auto _ : state) {
    benchmark::DoNotOptimize(gsp.SkeletonGetJunctionPt(filledSquare2000(), junctions));
  }
}

}  // namespace

BENCHMARK(BM_Skeleton4000_LiteralTwelveKernels)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Skeleton4000_LookupTablePass)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Skeleton4000_PlainTableLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Skeleton4000_CountNonZero)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilledSquare2000_PairSearch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilledSquare2000_WholeCall)->Unit(benchmark::kMillisecond);
