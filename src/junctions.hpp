// Skeleton junction pixels and the farthest pair among them.
#ifndef QUORVANE_NAV2_ALGO_CORE__JUNCTIONS_HPP_
#define QUORVANE_NAV2_ALGO_CORE__JUNCTIONS_HPP_

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

namespace quorvane
{
namespace junctions
{

/// Bit of each of the eight neighbours in a neighbourhood code, in raster order.
enum NeighbourBit : std::uint8_t {
  kNW = 0,
  kN = 1,
  kNE = 2,
  kW = 3,
  kE = 4,
  kSW = 5,
  kS = 6,
  kSE = 7,
};

/// The twelve junction shapes, each as the bit mask of its three arms.
const std::array<std::uint8_t, 12> & junctionArmMasks();

/// For every neighbourhood code (bit kX set when neighbour X is set): whether a
/// set pixel with that neighbourhood is a junction pixel (1) or not (0).
const std::array<std::uint8_t, 256> & junctionLookupTable();

/// Appends the junction pixels of a CV_8UC1 image (or view) in raster order:
/// by row from the top, each row from the left. Pixels outside the image
/// count as clear.
void collectJunctionPixels(const cv::Mat & skeleton, std::vector<cv::Point> & junctionPixels);

/// Indices of the extreme points of the convex hull of @p points, which must
/// be distinct, in raster order (sorted by y, then x) and have non-negative
/// coordinates (as image pixels do; the 64-bit cross products are then
/// exact). The result runs counter-clockwise in the (x, y) frame and holds no
/// point that lies on a hull edge between two others. One point gives one
/// index; none, none.
std::vector<std::size_t> convexHullOfRasterPoints(const std::vector<cv::Point> & points);

/// A pair of indices into a point list, first < second.
struct IndexPair
{
  std::size_t first;
  std::size_t second;
};

/// The pair (i, j), i < j, at the greatest exact distance among @p points
/// (distinct, raster-ordered, non-negative coordinates); among pairs at that
/// distance the one with the smallest i, then the smallest j. False (and
/// @p pair untouched) for fewer than two points.
bool farthestPairInRasterOrder(const std::vector<cv::Point> & points, IndexPair & pair);

/// The two farthest-apart junction pixels of a CV_8UC1 skeleton (first before
/// second in raster order), or (0, 0) twice with fewer than two of them.
std::array<cv::Point, 2> farthestJunctionPixels(const cv::Mat & skeleton);

}  // namespace junctions
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__JUNCTIONS_HPP_
