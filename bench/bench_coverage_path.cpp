// The coverage path after the alignment: on the 4000 x 4000 synthetic floor
// plan (0.05 m per pixel, walls at 17 degrees) and on every map of
// QUORVANE_TEST_MAPS_DIR (skipped without it), swath 0.5 m, radius 0.25 m,
// overlap 0.1. Each run reports the coverable area, the covered share, the
// stretch, lanes, wall passes, turns, the pixels the route searches settled
// and the shares of the planning time spent visiting regions and passes
// (with the routes between them) and finding the passes.
//
//   QUORVANE_TEST_MAPS_DIR=/path/to/maps bench_coverage_path --benchmark_min_time=1
//
// The CPU column is the process's CPU time (OpenCV's threads included);
// compare it rather than the wall time: the machine may be shared.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "coverage_path_plan.hpp"
#include "quorvane_nav2_maps/aligned_map.hpp"
#include "quorvane_nav2_maps/coverage_path.hpp"
#include "quorvane_nav2_maps/map.hpp"
#include "sample_floor_plan.hpp"
#include "test_maps_dir.hpp"

namespace
{

namespace maps = quorvane::maps;

struct Case
{
  maps::AlignedMap aligned;
  maps::MapFrame frame;
};

maps::CoveragePathOptions options()
{
  maps::CoveragePathOptions o;
  o.swathWidth = 0.5;
  o.robotRadius = 0.25;
  o.overlap = 0.1;
  return o;
}

void runCase(benchmark::State & state, const Case & c)
{
  maps::CoveragePath path;
  for (auto _ : state) {
    path = maps::planCoveragePath(c.aligned, c.frame, options());
    benchmark::DoNotOptimize(path.poses.data());
  }
  // The time split, from one more run of the worker.
  quorvane::coverage_path::Settings settings;
  settings.swathPx = 0.5 / c.frame.resolution;
  settings.radiusPx = 0.25 / c.frame.resolution;
  settings.spacingPx = settings.swathPx * 0.9;
  quorvane::coverage_path::Timings timings;
  quorvane::coverage_path::plan(c.aligned.free, c.aligned.rotation, settings, &timings);
  state.counters["coverable_m2"] = path.coverableArea;
  state.counters["covered"] = path.coveredShare;
  state.counters["stretch"] = path.stretch;
  state.counters["lanes"] = path.lanes;
  state.counters["wall_passes"] = path.wallPasses;
  state.counters["turns"] = path.turns;
  state.counters["ordering_share"] = timings.total > 0.0 ? timings.ordering / timings.total : 0.0;
  state.counters["passes_share"] = timings.total > 0.0 ? timings.passes / timings.total : 0.0;
  state.counters["unreachable_m2"] = path.unreachableArea;
  state.counters["routed_px"] = static_cast<double>(timings.routedPixels);
}

const Case & sample()
{
  static const Case c = [] {
    Case s;
    const cv::Mat plan = quorvane::tools::makeSampleFloorPlan({4000, 4000}, 17.0, 1U);
    s.aligned = maps::alignMap(plan);
    s.frame.resolution = 0.05;
    s.frame.width = plan.cols;
    s.frame.height = plan.rows;
    return s;
  }();
  return c;
}

void BM_CoveragePathSample4000(benchmark::State & state) { runCase(state, sample()); }
BENCHMARK(BM_CoveragePathSample4000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

/// One benchmark per map of QUORVANE_TEST_MAPS_DIR, aligned once here.
const bool kRealMapsRegistered = [] {
  const std::filesystem::path dir = quorvane::test::testMapsDir();
  if (dir.empty()) {
    return false;
  }
  std::vector<std::filesystem::path> yamls;
  for (const auto & entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() == ".yaml") {
      yamls.push_back(entry.path());
    }
  }
  std::sort(yamls.begin(), yamls.end());
  for (const auto & yaml : yamls) {
    auto c = std::make_shared<Case>();
    const maps::Map map = maps::loadMap(yaml.string());
    c->aligned = maps::alignMap(map.free);
    c->frame = map.frame;
    benchmark::RegisterBenchmark(
      ("BM_CoveragePath/" + yaml.stem().string()).c_str(),
      [c](benchmark::State & state) { runCase(state, *c); })
      ->Unit(benchmark::kMillisecond)
      ->MeasureProcessCPUTime();
  }
  return true;
}();

}  // namespace
