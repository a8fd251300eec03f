// Fuzz target: get_special_points::getInnerRect on arbitrary small maps (up
// to 64 x 64, any type, continuous or views) and arbitrary cell sizes (NaN,
// infinities, below 1, huge).
//
// Input layout: rows (u8 % 65), cols (u8 % 65), type tag, view flags, margin
// value, margin left, margin top, the pixels, the cell size (pickDouble), the
// number of stale points in rectPath and their coordinates (raw floats).
//
// Checked:
// - a cell size that is not finite, below 1 or with a floor above 65535:
//   cv::Exception (StsOutOfRange), rectPath bit for bit untouched;
// - otherwise a non-CV_8UC1 map: cv::Exception (StsUnsupportedFormat),
//   rectPath untouched;
// - an empty map: no exception, rectPath untouched;
// - otherwise no exception, and rectPath is either untouched or exactly five
//   finite points, the last equal to the first; a view gives the same points
//   and the same mask as a continuous copy; the map is never written.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "fuzz_input.hpp"
#include "get_special_points.hpp"

namespace
{

bool badCellSize(double cellSize)
{
  return !std::isfinite(cellSize) || cellSize < 1.0 || std::floor(cellSize) > 65535.0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * data, size_t size)
{
  quorvane_fuzz::ByteReader in(data, size);
  const quorvane_fuzz::FuzzedImage fuzzed = quorvane_fuzz::readImage(in);
  cv::Mat map = fuzzed.image;
  const int type = fuzzed.type;
  const bool asView = fuzzed.asView;
  const cv::Mat mapBefore = map.clone();

  const double cellSize = quorvane_fuzz::pickDouble(in);
  std::vector<cv::Point2f> rectPath(in.u8() % 7);
  for (cv::Point2f & p : rectPath) {
    p = cv::Point2f(in.f32(), in.f32());
  }
  const std::vector<cv::Point2f> pathBefore = rectPath;

  get_special_points gsp;
  try {
    gsp.getInnerRect(map, rectPath, cellSize);
  } catch (const cv::Exception & e) {
    FUZZ_CHECK(quorvane_fuzz::samePoints(rectPath, pathBefore));
    if (badCellSize(cellSize)) {
      FUZZ_CHECK(e.code == cv::Error::StsOutOfRange);
    } else {
      FUZZ_CHECK(type != CV_8UC1);
      FUZZ_CHECK(e.code == cv::Error::StsUnsupportedFormat);
    }
    FUZZ_CHECK(gsp.mask.empty());
    return 0;
  }
  FUZZ_CHECK(!badCellSize(cellSize) && type == CV_8UC1);
  FUZZ_CHECK(quorvane_fuzz::sameMat(map, mapBefore));

  if (map.empty()) {
    FUZZ_CHECK(quorvane_fuzz::samePoints(rectPath, pathBefore));
    return 0;
  }
  if (!quorvane_fuzz::samePoints(rectPath, pathBefore)) {
    FUZZ_CHECK(rectPath.size() == 5);
    for (const cv::Point2f & p : rectPath) {
      FUZZ_CHECK(std::isfinite(p.x) && std::isfinite(p.y));
    }
    FUZZ_CHECK(quorvane_fuzz::sameBits(rectPath[0], rectPath[4]));
  }
  if (asView) {
    get_special_points other;
    std::vector<cv::Point2f> fromCopy = pathBefore;
    other.getInnerRect(map.clone(), fromCopy, cellSize);
    FUZZ_CHECK(quorvane_fuzz::samePoints(fromCopy, rectPath));
    FUZZ_CHECK(quorvane_fuzz::sameMat(other.mask, gsp.mask));
  }
  return 0;
}
