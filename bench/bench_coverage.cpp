// The coverage by blocks of cells on the 4000 x 4000 synthetic floor plan at
// cell size 10, beside one getInnerRect call of the same run: the greedy
// decomposition on the tested grid, everything after the alignment (erosion,
// cell tests, decomposition, outlines), and the whole call.
//
//   bench_coverage --benchmark_min_time=1
//
// Compare the CPU column (process CPU time): the machine may be shared.
#include <benchmark/benchmark.h>

#include <vector>

#include <opencv2/core.hpp>

#include "cell_cover.hpp"
#include "get_special_points.hpp"
#include "inner_rect.hpp"
#include "quorvane_nav2_maps/coverage.hpp"
#include "sample_floor_plan.hpp"

namespace
{

namespace inner_rect = quorvane::inner_rect;

constexpr double kCellSize = 10.0;

/// Walls turned by 12 degrees, so the alignment really rotates the map.
const cv::Mat & floorPlan()
{
  static const cv::Mat plan = quorvane::tools::makeSampleFloorPlan({4000, 4000}, 12.0, 1U);
  return plan;
}

const quorvane::maps::AlignedMap & aligned()
{
  static const quorvane::maps::AlignedMap map = quorvane::maps::alignMap(floorPlan());
  return map;
}

const inner_rect::CellGrid & testedGrid()
{
  static const inner_rect::CellGrid grid = [] {
    cv::Mat mask;
    return *inner_rect::testedCellGrid(
      aligned().aligned, inner_rect::checkedCellSizes(kCellSize), mask);
  }();
  return grid;
}

void BM_GetInnerRect(benchmark::State & state)
{
  get_special_points g;
  std::vector<cv::Point2f> rectPath;
  for (auto _ : state) {
    g.getInnerRect(floorPlan(), rectPath, kCellSize);
    benchmark::DoNotOptimize(rectPath.data());
  }
}
BENCHMARK(BM_GetInnerRect)->Unit(benchmark::kMillisecond);

void BM_Alignment(benchmark::State & state)
{
  for (auto _ : state) {
    const quorvane::maps::AlignedMap map = quorvane::maps::alignMap(floorPlan());
    benchmark::DoNotOptimize(map.aligned.data);
  }
}
BENCHMARK(BM_Alignment)->Unit(benchmark::kMillisecond);

void BM_Decomposition(benchmark::State & state)
{
  // The greedy blocks on the tested grid; restoring its run lengths (a copy
  // into the same buffer) is counted too.
  inner_rect::CellGrid grid = testedGrid();
  std::size_t blocks = 0;
  for (auto _ : state) {
    grid.runLengths.assign(testedGrid().runLengths.begin(), testedGrid().runLengths.end());
    const std::vector<inner_rect::CellRect> rects =
      quorvane::cell_cover::greedyCellRects(grid, 4, -1);
    blocks = rects.size();
    benchmark::DoNotOptimize(rects.data());
  }
  state.counters["blocks"] = static_cast<double>(blocks);
  state.counters["cells"] = static_cast<double>(grid.rows) * grid.cols;
}
BENCHMARK(BM_Decomposition)->Unit(benchmark::kMillisecond);

void BM_AfterAlignment(benchmark::State & state)
{
  // What the coverage does once the map is turned: erosion, grid and cell
  // tests, decomposition, outlines.
  quorvane::maps::AlignedMap map = aligned();
  for (auto _ : state) {
    quorvane::maps::testCells(map, kCellSize);
    const quorvane::maps::Coverage coverage = quorvane::maps::coverageRectangles(map);
    benchmark::DoNotOptimize(coverage.rectangles.data());
  }
}
BENCHMARK(BM_AfterAlignment)->Unit(benchmark::kMillisecond);

void BM_WholeCoverage(benchmark::State & state)
{
  for (auto _ : state) {
    const quorvane::maps::Coverage coverage =
      quorvane::maps::coverageRectangles(floorPlan(), kCellSize);
    benchmark::DoNotOptimize(coverage.rectangles.data());
  }
}
BENCHMARK(BM_WholeCoverage)->Unit(benchmark::kMillisecond);

}  // namespace
