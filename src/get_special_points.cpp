#include "get_special_points.hpp"

#include <array>
#include <optional>

#include "cell_test.hpp"
#include "image_scan.hpp"
#include "inner_rect.hpp"
#include "junctions.hpp"

get_special_points::get_special_points() = default;

get_special_points::~get_special_points() = default;

int get_special_points::SkeletonGetJunctionPt(
  const cv::Mat & skeleton, std::vector<cv::Point> & junctions)
{
  // The output is emptied before anything else, so a rejected image leaves it empty.
  junctions.clear();
  quorvane::image_scan::checkByteImage(skeleton, "SkeletonGetJunctionPt: the skeleton");
  const std::array<cv::Point, 2> ends = quorvane::junctions::farthestJunctionPixels(skeleton);
  junctions.assign(ends.begin(), ends.end());
  return 0;
}

void get_special_points::getInnerRect(
  const cv::Mat & map, std::vector<cv::Point2f> & rectPath, double cellSize)
{
  const quorvane::inner_rect::CellSizes sizes = quorvane::inner_rect::checkedCellSizes(cellSize);
  quorvane::image_scan::checkByteImage(map, "getInnerRect: the map");
  if (map.empty()) {
    return;
  }
  // The output is replaced only when a rectangle is found.
  std::optional<std::vector<cv::Point2f>> outline =
    quorvane::inner_rect::innerRectOutlineInMap(map, sizes, mask);
  if (outline) {
    rectPath.assign(outline->begin(), outline->end());
  }
}

bool get_special_points::completeCellTest(const cv::Mat & image, cv::Point & center, int side)
{
  quorvane::cell_test::checkCellSide(side);
  quorvane::image_scan::checkByteImage(image, "completeCellTest: the image");
  return quorvane::cell_test::testCell(image, center, side, mask);
}
