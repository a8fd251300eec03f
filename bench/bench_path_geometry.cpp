// Douglas-Peucker and curvature: our index-range version against the literal
// recursion that copies its halves (and against cv::approxPolyDP), side by
// side in one run. A counting global operator new measures peak extra heap
// bytes and allocations of each call.
#include <benchmark/benchmark.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <new>
#include <random>
#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "CurvatureAnalyzer.hpp"
#include "SimplifyPath.hpp"
#include "polyline_inputs.hpp"
#include "reference_douglas_peucker.hpp"
#include "simplify.hpp"

// ------------------------------------------------------------ heap counting

namespace
{
std::atomic<std::size_t> liveBytes{0}, peakBytes{0}, allocations{0};
constexpr std::size_t kHeader = alignof(std::max_align_t);

void * countedAlloc(std::size_t size)
{
  auto * block = static_cast<unsigned char *>(std::malloc(size + kHeader));
  if (block == nullptr) {
    throw std::bad_alloc();
  }
  *reinterpret_cast<std::size_t *>(block) = size;
  const std::size_t live = liveBytes += size;
  std::size_t peak = peakBytes.load();
  while (live > peak && !peakBytes.compare_exchange_weak(peak, live)) {
  }
  ++allocations;
  return block + kHeader;
}

void countedFree(void * p) noexcept
{
  if (p == nullptr) {
    return;
  }
  auto * block = static_cast<unsigned char *>(p) - kHeader;
  liveBytes -= *reinterpret_cast<std::size_t *>(block);
  std::free(block);
}

/// Peak heap bytes above the level at start, and allocations, of one call.
struct HeapUse
{
  std::size_t peakExtra;
  std::size_t count;
};

HeapUse measureHeap(const std::function<void()> & call)
{
  const std::size_t base = liveBytes.load(), count = allocations.load();
  peakBytes = base;
  call();
  return {peakBytes.load() - base, allocations.load() - count};
}
}  // namespace

void * operator new(std::size_t size) { return countedAlloc(size); }
void * operator new[](std::size_t size) { return countedAlloc(size); }
void operator delete(void * p) noexcept { countedFree(p); }
void operator delete[](void * p) noexcept { countedFree(p); }
void operator delete(void * p, std::size_t) noexcept { countedFree(p); }
void operator delete[](void * p, std::size_t) noexcept { countedFree(p); }

namespace
{

using Polyline = std::vector<cv::Point>;
using nav_msgs::msg::Path;

// ------------------------------------------------------------ literal recursion

using quorvane::oracle::referencePath;
using quorvane::oracle::referencePolyline;

// The literal recursion runs on a thread with a 1 GiB stack (reserved, not
// touched), so that its depth is never the limit.
void onBigStack(const std::function<void()> & fn)
{
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, std::size_t{1} << 30);
  pthread_t thread;
  auto body = [](void * arg) -> void * {
    (*static_cast<const std::function<void()> *>(arg))();
    return nullptr;
  };
  if (pthread_create(&thread, &attr, body, const_cast<std::function<void()> *>(&fn)) == 0) {
    pthread_join(thread, nullptr);
  }
  pthread_attr_destroy(&attr);
}

// ------------------------------------------------------------ inputs

using quorvane::test::noisyRandomWalk;

Path posePath(std::size_t n)
{
  const Polyline walk = noisyRandomWalk(n);
  Path path;
  path.header.frame_id = "map";
  for (std::size_t i = 0; i < n; ++i) {
    geometry_msgs::msg::PoseStamped pose;
    pose.header.frame_id = "robot_base_footprint_" + std::to_string(i);  // heap-held string
    pose.pose.position.x = walk[i].x * 0.05;
    pose.pose.position.y = walk[i].y * 0.05;
    path.poses.push_back(pose);
  }
  return path;
}

constexpr double kEpsilon = 2.0;      // pixels
constexpr double kMinChord = -1.0;    // chord test off, as approxPolyDP has none
constexpr double kPathEpsilon = 0.1;  // metres (2 pixels at 0.05 m)

double seconds(const std::function<void()> & call)
{
  const auto start = std::chrono::steady_clock::now();
  call();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// ------------------------------------------------------------ benchmarks

void BM_PolylineOurs(benchmark::State & state)
{
  const Polyline in = noisyRandomWalk(std::size_t(state.range(0)));
  for (auto _ : state) {
    Polyline out;
    SimplifyPath().douglasPeucker(in, kEpsilon, kMinChord, out);
    benchmark::DoNotOptimize(out.data());
  }
}

void BM_PolylineLiteral(benchmark::State & state)
{
  const Polyline in = noisyRandomWalk(std::size_t(state.range(0)));
  for (auto _ : state) {
    Polyline out;
    onBigStack([&] { referencePolyline(in, kEpsilon, kMinChord, out); });
    benchmark::DoNotOptimize(out.data());
  }
}

/// Our worker against the plain one-by-one scan over an explicit stack, timed
/// in turn in each iteration on the same input; the counter is plain time over
/// ours.
void BM_PolylineEstimateVersusPlainScan(benchmark::State & state)
{
  const Polyline in = noisyRandomWalk(std::size_t(state.range(0)));
  double ours = 0.0, plain = 0.0;
  std::size_t keptOurs = 0, keptPlain = 0;
  for (auto _ : state) {
    ours += seconds([&] {
      keptOurs =
        quorvane::simplify::keptIndices(quorvane::simplify::polylineArrays(in), kEpsilon, kMinChord)
          .size();
    });
    plain += seconds(
      [&] { keptPlain = quorvane::oracle::plainKeptIndices(in, kEpsilon, kMinChord).size(); });
  }
  state.counters["plain_over_ours"] = plain / ours;
  state.counters["same_result"] = keptOurs == keptPlain ? 1 : 0;
}

void BM_PolylineApproxPolyDP(benchmark::State & state)
{
  const Polyline in = noisyRandomWalk(std::size_t(state.range(0)));
  for (auto _ : state) {
    Polyline out;
    cv::approxPolyDP(in, out, kEpsilon, false);
    benchmark::DoNotOptimize(out.data());
  }
}

/// The three polyline versions timed in turn within each iteration; counters
/// are the others' time over ours, and peak extra heap bytes of each.
void BM_PolylineSideBySide(benchmark::State & state)
{
  const Polyline in = noisyRandomWalk(std::size_t(state.range(0)));
  double ours = 0.0, literal = 0.0, approx = 0.0;
  Polyline outOurs, outLiteral, outApprox;
  HeapUse heapOurs{}, heapLiteral{};
  for (auto _ : state) {
    outOurs.clear(), outOurs.shrink_to_fit();
    outLiteral.clear(), outLiteral.shrink_to_fit();
    outApprox.clear();
    ours += seconds([&] {
      heapOurs =
        measureHeap([&] { SimplifyPath().douglasPeucker(in, kEpsilon, kMinChord, outOurs); });
    });
    literal += seconds([&] {
      onBigStack([&] {
        heapLiteral = measureHeap([&] { referencePolyline(in, kEpsilon, kMinChord, outLiteral); });
      });
    });
    approx += seconds([&] { cv::approxPolyDP(in, outApprox, kEpsilon, false); });
  }
  if (outOurs != outLiteral) {
    state.SkipWithError("results differ from the literal recursion");
  }
  state.counters["literal_over_ours"] = literal / ours;
  state.counters["approxPolyDP_over_ours"] = approx / ours;
  state.counters["kept"] = double(outOurs.size());
  state.counters["kept_approxPolyDP"] = double(outApprox.size());
  state.counters["peak_bytes_ours"] = double(heapOurs.peakExtra);
  state.counters["peak_bytes_literal"] = double(heapLiteral.peakExtra);
  state.counters["input_bytes"] = double(in.size() * sizeof(cv::Point));
}

/// Our path overload against the literal one; counters are the time ratio and
/// heap allocations per kept pose (each kept pose's frame_id is one).
void BM_PathSideBySide(benchmark::State & state)
{
  const Path in = posePath(std::size_t(state.range(0)));
  double ours = 0.0, literal = 0.0;
  HeapUse heapOurs{}, heapLiteral{};
  std::size_t kept = 0;
  bool same = true;
  for (auto _ : state) {
    Path outOurs, outLiteral;
    ours += seconds([&] {
      heapOurs = measureHeap([&] { SimplifyPath().douglasPeucker(in, kPathEpsilon, outOurs); });
    });
    literal += seconds([&] {
      onBigStack(
        [&] { heapLiteral = measureHeap([&] { referencePath(in, kPathEpsilon, outLiteral); }); });
    });
    kept = outOurs.poses.size();
    same = same && outOurs == outLiteral;
  }
  if (!same) {
    state.SkipWithError("results differ from the literal recursion");
  }
  state.counters["literal_over_ours"] = literal / ours;
  state.counters["kept"] = double(kept);
  state.counters["allocs_per_kept_ours"] = double(heapOurs.count) / double(kept);
  state.counters["allocs_per_kept_literal"] = double(heapLiteral.count) / double(kept);
  state.counters["peak_bytes_ours"] = double(heapOurs.peakExtra);
  state.counters["peak_bytes_literal"] = double(heapLiteral.peakExtra);
}

void BM_FindMaxCurvaturePoint(benchmark::State & state)
{
  const Polyline in = noisyRandomWalk(std::size_t(state.range(0)));
  HeapUse heap{};
  for (auto _ : state) {
    heap =
      measureHeap([&] { benchmark::DoNotOptimize(CurvatureAnalyzer().findMaxCurvaturePoint(in)); });
  }
  // Seconds per interior vertex (printed with an SI prefix, e.g. 30n = 30 ns).
  state.counters["time_per_vertex"] = benchmark::Counter(
    double(in.size() - 2),
    benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["allocations"] = double(heap.count);
}

}  // namespace

BENCHMARK(BM_PolylineOurs)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PolylineLiteral)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PolylineEstimateVersusPlainScan)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PolylineApproxPolyDP)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PolylineSideBySide)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PathSideBySide)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindMaxCurvaturePoint)->Arg(10000000)->Unit(benchmark::kMillisecond);
