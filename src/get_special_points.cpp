#include "get_special_points.hpp"

#include <array>

#include "image_checks.hpp"
#include "inner_rect.hpp"
#include "junctions.hpp"

get_special_points::get_special_points() = default;

get_special_points::~get_special_points() = default;

// ---------------------------------------------------------------- junctions

int get_special_points::SkeletonGetJunctionPt(
  const cv::Mat & skeleton, std::vector<cv::Point> & junctions)
{
  // 1. The output is emptied before anything else, so a rejected image leaves it empty.
  junctions.clear();
  quorvane::detail::checkByteImage(skeleton, "SkeletonGetJunctionPt: the skeleton");
  // 2. Junction pixels and the farthest pair among them.
  const std::array<cv::Point, 2> ends = quorvane::detail::farthestJunctionPixels(skeleton);
  junctions.assign(ends.begin(), ends.end());
  return 0;
}

// ---------------------------------------------------------------- inner rectangle

void get_special_points::getInnerRect(
  const cv::Mat & map, std::vector<cv::Point2f> & rectPath, double cellSize)
{
  const quorvane::detail::CellSizes sizes = quorvane::detail::checkedCellSizes(cellSize);
  quorvane::detail::checkByteImage(map, "getInnerRect: the map");
  if (map.empty()) {
    return;
  }
  // The output is replaced only when a rectangle is found.
  std::optional<std::vector<cv::Point2f>> outline =
    quorvane::detail::innerRectOutlineInMap(*this, map, sizes);
  if (outline) {
    rectPath.assign(outline->begin(), outline->end());
  }
}

// ---------------------------------------------------------------- cell test

bool get_special_points::completeCellTest(const cv::Mat & image, cv::Point & center, int side)
{
  quorvane::detail::checkCellSide(side);
  quorvane::detail::checkByteImage(image, "completeCellTest: the image");
  // 1. Centre shortcut: mask untouched.
  if (quorvane::detail::isInsideAnd255(image, center)) {
    return true;
  }
  // An image sharing pixels with mask (the mask itself, a view of it) is read
  // from a copy: mask is cleared before the window is scanned.
  const bool sharesMask = image.data != nullptr && mask.data != nullptr &&
                          image.datastart < mask.dataend && mask.datastart < image.dataend;
  const cv::Mat source = sharesMask ? image.clone() : image;
  // 2. Clear mask in place, or reallocate it at the new side.
  quorvane::detail::resetMask(mask, side);
  // 3. Scan the window's in-image pixels (an empty window holds none).
  return quorvane::detail::mark255InWindow(source, center, side, mask);
}
