// getInnerRect on a 4000 x 4000 synthetic floor plan, whole and stage by stage:
// alignment (main direction, rotation matrix, warp), erosion, and the stages
// of the search itself (box of the free area, grid with cell tests, rectangle
// search). Compare the stages with the whole call of the same run.
//
//   bench_inner_rect --benchmark_min_time=1
//
// The argument of every benchmark is the cell size. Compare the CPU column
// (process CPU time): the machine may be shared, which inflates wall time.
#include <benchmark/benchmark.h>

#include <map>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "Rotator.hpp"
#include "get_special_points.hpp"
#include "image_scan.hpp"
#include "inner_rect.hpp"
#include "sample_floor_plan.hpp"

namespace
{

namespace detail = quorvane::inner_rect;

/// Walls turned by 12 degrees, so the alignment really rotates the map.
const cv::Mat & floorPlan()
{
  static const cv::Mat plan = quorvane::tools::makeSampleFloorPlan({4000, 4000}, 12.0, 1U);
  return plan;
}

/// What every stage needs, prepared once per cell size outside the timing.
struct Prepared
{
  cv::Mat matrix;
  cv::Rect bounds;
  cv::Mat rotated;
  quorvane::image_scan::PixelBox box{};
  cv::Mat eroded;
  detail::CellGrid grid;
};

const Prepared & prepared(int cellSize)
{
  static std::map<int, Prepared> cache;
  auto found = cache.find(cellSize);
  if (found != cache.end()) {
    return found->second;
  }
  Prepared p;
  Rotator rotator;
  rotator.computeImageRotationMatrix(floorPlan(), p.matrix, p.bounds, nullptr, 0.0);
  rotator.rotateImage(floorPlan(), p.rotated, p.matrix, p.bounds);
  p.box = *quorvane::image_scan::boxOf255Pixels(p.rotated);
  const detail::CellSizes sizes = detail::checkedCellSizes(cellSize);
  p.eroded = detail::erodeByHalfCell(p.rotated, sizes.half);
  p.grid = detail::layCellGrid(p.box, sizes);
  get_special_points tester;
  detail::testCellsOfGrid(p.eroded, p.grid, tester.mask);
  return cache.emplace(cellSize, std::move(p)).first->second;
}

void cellSizes(benchmark::internal::Benchmark * b)
{
  b->Arg(10)->Arg(40)->Unit(benchmark::kMillisecond);
}

void BM_Whole_GetInnerRect(benchmark::State & state)
{
  const auto cellSize = static_cast<double>(state.range(0));
  get_special_points g;
  std::vector<cv::Point2f> rectPath;
  for (auto _ : state) {
    g.getInnerRect(floorPlan(), rectPath, cellSize);
    benchmark::DoNotOptimize(rectPath.data());
  }
}
BENCHMARK(BM_Whole_GetInnerRect)->Apply(cellSizes);

void BM_Stage1_Alignment(benchmark::State & state)
{
  Rotator rotator;
  for (auto _ : state) {
    cv::Mat matrix;
    cv::Rect bounds(0, 0, 0, 0);
    cv::Mat rotated;
    rotator.computeImageRotationMatrix(floorPlan(), matrix, bounds, nullptr, 0.0);
    rotator.rotateImage(floorPlan(), rotated, matrix, bounds);
    benchmark::DoNotOptimize(rotated.data);
  }
}
BENCHMARK(BM_Stage1_Alignment)->Apply(cellSizes);

void BM_Stage2_Erosion(benchmark::State & state)
{
  const Prepared & p = prepared(static_cast<int>(state.range(0)));
  const int half = static_cast<int>(state.range(0)) / 2;
  for (auto _ : state) {
    cv::Mat eroded = detail::erodeByHalfCell(p.rotated, half);
    benchmark::DoNotOptimize(eroded.data);
  }
}
BENCHMARK(BM_Stage2_Erosion)->Apply(cellSizes);

void BM_Own1_BoundingBox(benchmark::State & state)
{
  const Prepared & p = prepared(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    std::optional<quorvane::image_scan::PixelBox> box =
      quorvane::image_scan::boxOf255Pixels(p.rotated);
    benchmark::DoNotOptimize(box);
  }
}
BENCHMARK(BM_Own1_BoundingBox)->Apply(cellSizes);

void BM_Own2_GridAndCellTests(benchmark::State & state)
{
  const Prepared & p = prepared(static_cast<int>(state.range(0)));
  const detail::CellSizes sizes = detail::checkedCellSizes(static_cast<double>(state.range(0)));
  get_special_points tester;
  for (auto _ : state) {
    detail::CellGrid grid = detail::layCellGrid(p.box, sizes);
    detail::testCellsOfGrid(p.eroded, grid, tester.mask);
    benchmark::DoNotOptimize(grid.runLengths.data());
  }
  state.counters["cells"] = static_cast<double>(p.grid.rows) * p.grid.cols;
}
BENCHMARK(BM_Own2_GridAndCellTests)->Apply(cellSizes);

void BM_Own3_RectangleSearch(benchmark::State & state)
{
  const Prepared & p = prepared(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    detail::CellRect rect = detail::largestRectangleOfPassingCells(p.grid);
    benchmark::DoNotOptimize(rect);
  }
}
BENCHMARK(BM_Own3_RectangleSearch)->Apply(cellSizes);

}  // namespace
