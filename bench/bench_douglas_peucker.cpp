// Douglas-Peucker against cv::approxPolyDP (open curve, same epsilon), side
// by side in one run, on a million points of each input family:
//
// - NoisyCurve: a smooth curve sampled every 0.2 to 0.6 px, Gaussian noise
//   sigma 1.5 px, rounded to pixels;
// - RandomWalk: steps of 2 px with a slowly turning heading and 1 px noise;
// - MapBoundary: the outer boundary of the largest free region of
//   willow_full.pgm (free as map_server thresholds it), concatenated with
//   itself up to a million points; skipped when QUORVANE_TEST_MAPS_DIR is
//   unset.
//
// Each row times approxPolyDP, our polyline overload with minimum chord 0 and
// -1, and our Path overload on the same points as doubles, in turn within every
// iteration; the counters are milliseconds of thread processor time per call
// and our time over approxPolyDP's (below 1: we are faster).
//
// BM_Comb: x increasing, y alternating between two levels that drift slowly;
// the plain scheme splits it one or two points at a time. Rows from 16 k to
// 1 M points give our time and, up to 64 k, approxPolyDP's; the 1 M row also
// prints the growth of our time from 64 k.
//
//   QUORVANE_TEST_MAPS_DIR=/work/shared/maps bench_douglas_peucker
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "SimplifyPath.hpp"
#include "polyline_inputs.hpp"
#include "reference_douglas_peucker.hpp"
#include "test_maps_dir.hpp"

namespace
{

using Polyline = std::vector<cv::Point>;
using nav_msgs::msg::Path;

constexpr std::size_t kMillion = 1000000;
constexpr double kEpsilon = 2.0;

// ------------------------------------------------------------ inputs

Polyline noisyCurve(std::size_t n)
{
  std::mt19937 rng(7);
  std::normal_distribution<double> noise(0.0, 1.5);
  Polyline points;
  points.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double s = 0.5 * double(i);
    const double x = 0.4 * s + 300.0 * std::sin(s / 700.0);
    const double y = 400.0 * std::sin(s / 1100.0) + 150.0 * std::cos(s / 333.0);
    points.emplace_back(int(std::lround(x + noise(rng))), int(std::lround(y + noise(rng))));
  }
  return points;
}

using quorvane::test::noisyRandomWalk;

/// Reads a binary PGM (P5, 8 bit); an empty matrix when it cannot.
cv::Mat readPgm(const std::string & file)
{
  std::ifstream in(file, std::ios::binary);
  std::string magic;
  in >> magic;
  int values[3] = {0, 0, 0};  // width, height, maximum
  for (int & v : values) {
    while (in >> std::ws && in.peek() == '#') {
      in.ignore(1 << 20, '\n');
    }
    in >> v;
  }
  in.get();
  if (!in || magic != "P5" || values[2] != 255) {
    return {};
  }
  cv::Mat image(values[1], values[0], CV_8UC1);
  in.read(reinterpret_cast<char *>(image.data), std::streamsize(image.total()));
  return in ? image : cv::Mat();
}

/// The largest free region's outer boundary, repeated up to n points; empty
/// without maps.
Polyline mapBoundary(std::size_t n)
{
  const auto dir = quorvane::test::testMapsDir();
  if (dir.empty()) {
    return {};
  }
  const cv::Mat map = readPgm((dir / "willow_full.pgm").string());
  if (map.empty()) {
    return {};
  }
  // map_server: occupancy (255 - v) / 255, free below free_thresh 0.196.
  cv::Mat free(map.size(), CV_8UC1);
  for (int r = 0; r < map.rows; ++r) {
    for (int c = 0; c < map.cols; ++c) {
      free.at<uchar>(r, c) = (255.0 - map.at<uchar>(r, c)) / 255.0 < 0.196 ? 255 : 0;
    }
  }
  std::vector<Polyline> contours;
  cv::findContours(free, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
  const auto largest = std::max_element(
    contours.begin(), contours.end(),
    [](const Polyline & a, const Polyline & b) { return a.size() < b.size(); });
  Polyline points;
  points.reserve(n);
  while (largest != contours.end() && points.size() < n) {
    const std::size_t take = std::min(n - points.size(), largest->size());
    points.insert(points.end(), largest->begin(), largest->begin() + std::ptrdiff_t(take));
  }
  return points;
}

/// n points alternating between two levels 12 px apart that rise by 5 px over
/// the whole comb.
Polyline comb(std::size_t n)
{
  Polyline points;
  points.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const auto drift = std::int64_t(i) * 5 / std::int64_t(n);
    points.emplace_back(int(i), int(drift) + (i % 2 == 1 ? 12 : 0));
  }
  return points;
}

Path asPath(const Polyline & points)
{
  Path path;
  path.header.frame_id = "map";
  path.poses.resize(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    path.poses[i].header.frame_id = "map";
    path.poses[i].pose.position.x = points[i].x;
    path.poses[i].pose.position.y = points[i].y;
  }
  return path;
}

/// The calling thread's processor time of one call, in seconds: on a shared
/// machine it varies less than the time on the clock.
double seconds(const std::function<void()> & call)
{
  const auto now = [] {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
  };
  const double start = now();
  call();
  return now() - start;
}

/// Our polyline result equals what the plain one-by-one scan keeps.
bool samePlain(const Polyline & in, double minChord, const Polyline & ours)
{
  Polyline plain;
  for (const std::size_t i : quorvane::oracle::plainKeptIndices(in, kEpsilon, minChord)) {
    plain.push_back(in[i]);
  }
  return plain == ours;
}

// ------------------------------------------------------------ benchmarks

void runFamily(benchmark::State & state, const Polyline & in)
{
  if (in.empty()) {
    state.SkipWithError("QUORVANE_TEST_MAPS_DIR unset or willow_full.pgm unreadable: skipped");
    for (auto _ : state) {
    }
    return;
  }
  const Path path = asPath(in);
  double approx = 0.0, chord0 = 0.0, chordOff = 0.0, pathTime = 0.0;
  Polyline outApprox, out0, outOff;
  Path outPath;
  for (auto _ : state) {
    outApprox.clear(), out0.clear(), outOff.clear(), outPath.poses.clear();
    approx += seconds([&] { cv::approxPolyDP(in, outApprox, kEpsilon, false); });
    chord0 += seconds([&] { SimplifyPath().douglasPeucker(in, kEpsilon, 0.0, out0); });
    chordOff += seconds([&] { SimplifyPath().douglasPeucker(in, kEpsilon, -1.0, outOff); });
    pathTime += seconds([&] { SimplifyPath().douglasPeucker(path, kEpsilon, outPath); });
  }
  bool same = outPath.poses.size() == outOff.size();
  for (std::size_t i = 0; same && i < outOff.size(); ++i) {
    same = outPath.poses[i].pose.position.x == outOff[i].x &&
           outPath.poses[i].pose.position.y == outOff[i].y;
  }
  if (!same || !samePlain(in, 0.0, out0) || !samePlain(in, -1.0, outOff)) {
    state.SkipWithError("results differ from the plain scan");
  }
  const double runs = double(state.iterations());
  state.counters["approx_ms"] = 1e3 * approx / runs;
  state.counters["chord0_ms"] = 1e3 * chord0 / runs;
  state.counters["chordOff_ms"] = 1e3 * chordOff / runs;
  state.counters["path_ms"] = 1e3 * pathTime / runs;
  state.counters["chord0_ratio"] = chord0 / approx;
  state.counters["chordOff_ratio"] = chordOff / approx;
  state.counters["path_ratio"] = pathTime / approx;
  state.counters["kept"] = double(out0.size());
  state.counters["kept_approx"] = double(outApprox.size());
}

void BM_NoisyCurve(benchmark::State & state) { runFamily(state, noisyCurve(kMillion)); }
void BM_RandomWalk(benchmark::State & state) { runFamily(state, noisyRandomWalk(kMillion)); }
void BM_MapBoundary(benchmark::State & state) { runFamily(state, mapBoundary(kMillion)); }

/// Our time at each size, kept for the growth printed with the largest one.
std::map<std::size_t, double> combSeconds;

void BM_Comb(benchmark::State & state)
{
  const auto n = std::size_t(state.range(0));
  const Polyline in = comb(n);
  const bool withApprox = n <= 65536;
  double ours = 0.0, approx = 0.0;
  Polyline out, outApprox;
  for (auto _ : state) {
    out.clear(), outApprox.clear();
    ours += seconds([&] { SimplifyPath().douglasPeucker(in, kEpsilon, 0.0, out); });
    if (withApprox) {
      approx += seconds([&] { cv::approxPolyDP(in, outApprox, kEpsilon, false); });
    }
  }
  const double runs = double(state.iterations());
  combSeconds[n] = ours / runs;
  if (withApprox && !samePlain(in, 0.0, out)) {
    state.SkipWithError("results differ from the plain scan");
  }
  state.counters["ours_ms"] = 1e3 * ours / runs;
  state.counters["kept"] = double(out.size());
  if (withApprox) {
    state.counters["approx_ms"] = 1e3 * approx / runs;
    state.counters["ratio"] = ours / approx;
  }
  if (combSeconds.count(65536) != 0 && n > 65536) {
    state.counters["growth_from_64k"] = combSeconds[n] / combSeconds[65536];
  }
}

}  // namespace

BENCHMARK(BM_NoisyCurve)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RandomWalk)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_MapBoundary)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Comb)
  ->RangeMultiplier(4)
  ->Range(16384, 1 << 20)
  ->Unit(benchmark::kMillisecond)
  ->Iterations(1);
