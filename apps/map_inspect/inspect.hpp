#ifndef QUORVANE_NAV2_ALGO_CORE__TOOLS__INSPECT_HPP_
#define QUORVANE_NAV2_ALGO_CORE__TOOLS__INSPECT_HPP_

// Runs the library over a free-space map, one timed step at a time, and keeps
// every intermediate result for the report and the picture. The map is
// aligned once; the rectangle, the coverage and the pictures all read that
// one alignment and its one grid of cells.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <opencv2/core.hpp>

#include "quorvane_nav2_maps/aligned_map.hpp"
#include "quorvane_nav2_maps/coverage.hpp"
#include "quorvane_nav2_maps/coverage_path.hpp"
#include "quorvane_nav2_maps/map.hpp"
#include "skeleton.hpp"

namespace quorvane
{
namespace tools
{

/// What to look for.
struct InspectOptions
{
  double cellSizePx = 10.0;          //!< inner rectangle cell side in whole pixels, in [1, 65535]
  double epsilonPx = 2.0;            //!< boundary simplification tolerance in pixels, >= 0
  double minChordPx = -1.0;          //!< spans this short are not looked into; negative: off
  int skeletonMaxSide = 0;           //!< longest side thinned at full resolution; 0: any
  std::int64_t minRegionAreaPx = 0;  //!< specks and islands this small go before thinning
  int coverageMinCells = 4;          //!< smallest coverage block, in cells (>= 1)
  int coverageMaxRectangles = -1;    //!< most coverage blocks; negative: no limit
  /// The coverage path asked for (metres, in @ref frame); none: not planned.
  std::optional<maps::CoveragePathOptions> coveragePath;
  /// Resolution and origin of the map (its size is taken from the image).
  maps::MapFrame frame;
};

/// Wall-clock time of each step, in the order the steps ran.
using StepTimes = std::vector<std::pair<std::string, double>>;

/// The sharpest vertex of the simplified boundary.
struct SharpestVertex
{
  bool found = false;      //!< false when no vertex turns
  cv::Point point;         //!< map pixel
  double curvature = 0.0;  //!< radians per pixel
  double turnAngle = 0.0;  //!< radians, curvature times the shorter leg
};

/// Everything an inspection found, in map pixels unless stated.
struct Inspection
{
  /// The map turned onto its main direction, with its grid of tested cells.
  maps::AlignedMap aligned;
  /// The inner rectangle on that grid (getInnerRect's), or nothing when no
  /// cell fits.
  std::optional<maps::CoverageRectangle> rectangle;
  maps::Coverage coverage;  //!< the free space as blocks of cells, largest first
  std::optional<maps::CoveragePath> coveragePath;  //!< when asked for
  Skeleton skeleton;                               //!< thinned free space
  std::vector<cv::Point> junctions;   //!< the farthest junction pair, or empty when none
  std::vector<cv::Point> boundary;    //!< outer boundary of the largest free region
  std::vector<cv::Point> simplified;  //!< simplified boundary, closed (last == first)
  SharpestVertex sharpest;            //!< of the simplified boundary
  StepTimes timesMs;                  //!< per step, milliseconds
};

/// Runs every step on @p free, a map's free image (`CV_8UC1`, 255 free, 0
/// otherwise, as maps::Map holds it).
Inspection inspectMap(const cv::Mat & free, const InspectOptions & options);

/// Outer boundary (no repeated closing point) of the free region (nonzero
/// cells of @p free) with the largest enclosed area; empty when there is no
/// free cell.
std::vector<cv::Point> largestFreeBoundary(const cv::Mat & free);

/// The closed @p boundary simplified with SimplifyPath; the result is closed
/// too (its last point repeats its first), empty for an empty boundary.
std::vector<cv::Point> simplifyClosedBoundary(
  const std::vector<cv::Point> & boundary, double epsilonPx, double minChordPx);

/// The sharpest vertex of a closed polygon (last point == first point), every
/// vertex, the first included, being judged with its two neighbours.
SharpestVertex sharpestVertexOfClosedPolygon(const std::vector<cv::Point> & closed);

}  // namespace tools
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__TOOLS__INSPECT_HPP_
