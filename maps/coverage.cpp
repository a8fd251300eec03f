#include "quorvane_nav2_maps/coverage.hpp"

#include "cell_cover.hpp"
#include "image_scan.hpp"
#include "inner_rect.hpp"

namespace quorvane
{
namespace maps
{

Coverage coverageRectangles(const AlignedMap & map, int minCells, int maxRectangles)
{
  if (minCells < 1) {
    CV_Error_(
      cv::Error::StsOutOfRange,
      ("coverageRectangles: minCells must be at least 1, got %d", minCells));
  }
  Coverage coverage;
  if (map.grid.rows <= 0 || map.grid.cols <= 0) {
    return coverage;
  }
  inner_rect::CellGrid grid = cell_cover::runLengthGrid(map.grid);
  coverage.passingCells = map.grid.passingCells;
  const std::vector<inner_rect::CellRect> rects =
    cell_cover::greedyCellRects(grid, minCells, maxRectangles);
  coverage.rectangles = cell_cover::blocksInMap(map, rects);
  for (const inner_rect::CellRect & rect : rects) {
    coverage.coveredCells += rect.area;
  }
  coverage.coveredShare = coverage.passingCells > 0 ? static_cast<double>(coverage.coveredCells) /
                                                        static_cast<double>(coverage.passingCells)
                                                    : 0.0;
  return coverage;
}

Coverage coverageRectangles(const cv::Mat & free, double cellSize, int minCells, int maxRectangles)
{
  inner_rect::checkedCellSizes(cellSize);
  image_scan::checkByteImage(free, "coverageRectangles: the map");
  if (minCells < 1) {
    CV_Error_(
      cv::Error::StsOutOfRange,
      ("coverageRectangles: minCells must be at least 1, got %d", minCells));
  }
  if (free.empty()) {
    return {};
  }
  return coverageRectangles(alignMap(free, cellSize), minCells, maxRectangles);
}

}  // namespace maps
}  // namespace quorvane
