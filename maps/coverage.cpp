#include "quorvane_nav2_maps/coverage.hpp"

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

/// The block's outer edges in the turned frame: the outline through its
/// corner cells' centres pushed out by @p half on every side.
void appendExtent(
  const std::vector<cv::Point2f> & outline, float half, std::vector<cv::Point2f> & points)
{
  const float xLeft = outline[0].x - half;
  const float yTop = outline[0].y - half;
  const float xRight = outline[2].x + half;
  const float yBottom = outline[2].y + half;
  points.insert(
    points.end(),
    {{xLeft, yTop}, {xRight, yTop}, {xRight, yBottom}, {xLeft, yBottom}, {xLeft, yTop}});
}

}  // namespace

Coverage coverageRectangles(const cv::Mat & free, double cellSize, int minCells, int maxRectangles)
{
  const inner_rect::CellSizes sizes = inner_rect::checkedCellSizes(cellSize);
  image_scan::checkByteImage(free, "coverageRectangles: the map");
  if (minCells < 1) {
    CV_Error_(
      cv::Error::StsOutOfRange,
      ("coverageRectangles: minCells must be at least 1, got %d", minCells));
  }
  Coverage coverage;
  if (free.empty()) {
    return coverage;
  }
  const inner_rect::AlignedMap aligned = inner_rect::alignOntoMainDirection(free);
  cv::Mat mask;
  std::optional<inner_rect::CellGrid> grid =
    inner_rect::testedCellGrid(aligned.rotated, sizes, mask);
  if (!grid) {
    return coverage;
  }
  coverage.passingCells = cell_cover::countPassingCells(*grid);
  const std::vector<inner_rect::CellRect> rects =
    cell_cover::greedyCellRects(*grid, minCells, maxRectangles);

  // Outline and extent of every block in the turned frame, carried back into
  // the map's frame in one transform.
  constexpr std::size_t kCorners = 5;
  std::vector<cv::Point2f> turned;
  turned.reserve(2 * kCorners * rects.size());
  const float half = static_cast<float>(sizes.cell) * 0.5F;
  for (const inner_rect::CellRect & rect : rects) {
    const std::vector<cv::Point2f> outline = inner_rect::outlineOfCellRect(*grid, rect);
    turned.insert(turned.end(), outline.begin(), outline.end());
    appendExtent(outline, half, turned);
    coverage.coveredCells += rect.area;
  }
  const std::vector<cv::Point2f> inMap = rotation::transformBack(turned, aligned.turn.matrix);
  coverage.rectangles.reserve(rects.size());
  auto corner = inMap.begin();
  for (const inner_rect::CellRect & rect : rects) {
    CoverageRectangle block;
    block.outline.assign(corner, corner + kCorners);
    block.extent.assign(corner + kCorners, corner + 2 * kCorners);
    block.cells = {rect.rightCol - rect.leftCol + 1, rect.bottomRow - rect.topRow};
    coverage.rectangles.push_back(std::move(block));
    corner += 2 * kCorners;
  }
  coverage.coveredShare = coverage.passingCells > 0 ? static_cast<double>(coverage.coveredCells) /
                                                        static_cast<double>(coverage.passingCells)
                                                    : 0.0;
  return coverage;
}

}  // namespace maps
}  // namespace quorvane
