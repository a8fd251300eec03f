#include "quorvane_nav2_maps/aligned_map.hpp"

#include <optional>

#include "cell_cover.hpp"
#include "image_scan.hpp"
#include "inner_rect.hpp"
#include "rotation.hpp"

namespace quorvane
{
namespace maps
{
namespace
{

/// The tested grid of a worker as the public value: a cell passes when its
/// run length is positive.
CellGrid publicGrid(const inner_rect::CellGrid & tested, double cellSize, int half)
{
  CellGrid grid;
  grid.cellSize = cellSize;
  grid.cellPx = tested.cell;
  grid.halfPx = half;
  grid.originX = tested.originX;
  grid.originY = tested.originY;
  grid.rows = tested.rows;
  grid.cols = tested.cols;
  grid.passing = cv::Mat::zeros(tested.rows, tested.cols, CV_8UC1);
  for (int r = 0; r < tested.rows; ++r) {
    uchar * row = grid.passing.ptr<uchar>(r);
    for (int c = 0; c < tested.cols; ++c) {
      if (tested.runLength(r, c) > 0) {
        row[c] = 255;
        ++grid.passingCells;
      }
    }
  }
  return grid;
}

}  // namespace

AlignedMap alignMap(const cv::Mat & free)
{
  image_scan::checkByteImage(free, "alignMap: the map");
  AlignedMap map;
  map.free = free;
  if (free.empty()) {
    return map;
  }
  // The core's rotation onto the main direction, whose angle (with no extra
  // angle added) is the main direction itself.
  inner_rect::TurnedMap turned = inner_rect::alignOntoMainDirection(free);
  map.mainDirection = turned.turn.angle;
  map.rotation = turned.turn.matrix;
  map.bounds = turned.turn.bounds;
  map.aligned = turned.rotated;
  return map;
}

AlignedMap alignMap(const cv::Mat & free, double cellSize)
{
  inner_rect::checkedCellSizes(cellSize);
  AlignedMap map = alignMap(free);
  testCells(map, cellSize);
  return map;
}

void testCells(AlignedMap & map, double cellSize)
{
  const inner_rect::CellSizes sizes = inner_rect::checkedCellSizes(cellSize);
  CellGrid grid;
  grid.cellSize = cellSize;
  grid.cellPx = sizes.cell;
  grid.halfPx = sizes.half;
  if (!map.aligned.empty()) {
    cv::Mat mask;  // the cell test's scratch window
    const std::optional<inner_rect::CellGrid> tested =
      inner_rect::testedCellGrid(map.aligned, sizes, mask);
    if (tested) {
      grid = publicGrid(*tested, cellSize, sizes.half);
    }
  }
  map.grid = std::move(grid);
}

std::vector<cv::Point2f> alignedToMap(
  const AlignedMap & map, const std::vector<cv::Point2f> & alignedPoints)
{
  if (map.rotation.empty() || alignedPoints.empty()) {
    return {};
  }
  return rotation::transformBack(alignedPoints, map.rotation);
}

std::optional<CoverageRectangle> innerRectangle(const AlignedMap & map)
{
  if (map.grid.rows <= 0 || map.grid.cols <= 0) {
    return std::nullopt;
  }
  const inner_rect::CellRect rect =
    inner_rect::largestRectangleOfPassingCells(cell_cover::runLengthGrid(map.grid));
  if (rect.area == 0) {
    return std::nullopt;
  }
  return cell_cover::blocksInMap(map, {rect}).front();
}

}  // namespace maps
}  // namespace quorvane
