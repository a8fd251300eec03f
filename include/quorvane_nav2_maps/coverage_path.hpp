// A path that sweeps every part of a map's floor the robot can reach: lanes
// along the map's main direction swept back and forth, shortest routes
// between them, and passes along the walls for what the lanes leave.
//
// Errors follow the toolkit's rule (errors.hpp). Every function reads only
// its arguments and returns a new value: concurrent calls are safe (an
// AlignedMap may be shared by calls on several threads, read only).
#ifndef QUORVANE_NAV2_MAPS__COVERAGE_PATH_HPP_
#define QUORVANE_NAV2_MAPS__COVERAGE_PATH_HPP_

#include <cstdint>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "quorvane_nav2_maps/aligned_map.hpp"
#include "quorvane_nav2_maps/export.hpp"
#include "quorvane_nav2_maps/map.hpp"

namespace quorvane
{
namespace maps
{

/// What a coverage path is asked for. Lengths in metres.
struct CoveragePathOptions
{
  /// Width the robot's tool sweeps in one pass; finite, > 0.
  double swathWidth = 0.5;
  /// Radius of the robot; finite, >= 0. Every point of the path keeps this
  /// distance, less half a pixel, from the centre of every cell that is not
  /// free (unknown cells are not free); see planCoveragePath().
  double robotRadius = 0.25;
  /// Share of the swath by which neighbouring lanes overlap, in [0, 1):
  /// lanes lie swathWidth * (1 - overlap) apart (or a little closer, so that
  /// they spread evenly between the extreme ones).
  double overlap = 0.1;
  /// Where the path starts, in metres of the map frame; without it, at the
  /// beginning of the first lane of the largest reachable part.
  std::optional<cv::Point2d> start;
};

/// What a stretch of the path between two poses does.
enum class CoverageSegmentKind : std::uint8_t {
  Lane,     ///< sweeps: a lane, or a pass along a wall
  Transit,  ///< moves between lanes, regions and passes
};

/// One vertex of the path.
struct CoveragePose
{
  cv::Point2d pixel;     ///< map image pixels (u right, v down, integers at centres)
  cv::Point2d position;  ///< metres in the map frame (pixelToWorld(pixel))
  /// Map-frame yaw (radians, (-pi, pi]) of the direction of travel: of the
  /// segment leaving this pose; the last pose, and a pose whose next one
  /// coincides with it, keep the previous yaw; a path of one pose faces 0.
  double yaw = 0.0;
};

/// A coverage path and its figures. Areas in m^2, lengths in metres.
struct CoveragePath
{
  std::vector<CoveragePose> poses;  ///< in order of travel
  /// segments[i] is the kind of the segment from poses[i] to poses[i + 1]
  /// (poses.size() - 1 entries; none for fewer than two poses).
  std::vector<CoverageSegmentKind> segments;
  double pathLength = 0.0;     ///< sum of the segments' lengths
  double laneLength = 0.0;     ///< of the Lane segments
  double transitLength = 0.0;  ///< of the Transit segments
  int lanes = 0;               ///< lanes swept back and forth
  int wallPasses = 0;          ///< passes along walls for cells the lanes left
  /// Interior poses where the heading turns by more than 45 degrees.
  int turns = 0;
  /// The floor the path is meant to sweep: free cells within half a swath of
  /// a reachable position (see planCoveragePath()), times resolution^2.
  double coverableArea = 0.0;
  /// Share of the coverable cells whose centre lies within half a swath of
  /// some segment (lanes and transits alike); 0 when nothing is coverable.
  double coveredShare = 0.0;
  /// Free cells that are not coverable (behind openings narrower than the
  /// robot, in corners it cannot reach, in other components), in m^2.
  double unreachableArea = 0.0;
  /// `CV_8UC1`, the map's size: 255 at the free cells counted in
  /// unreachableArea, 0 elsewhere.
  cv::Mat unreachable;
  /// pathLength / (coverableArea / swathWidth): 1 for an ideal sweep without
  /// overlap; 0 when nothing is coverable.
  double stretch = 0.0;
  /// The first pose's position (metres): the start asked for, or the
  /// beginning of the first lane. (0, 0) when the path is empty.
  cv::Point2d start;
};

/**
 * @brief Plans a path that sweeps the floor of an aligned map.
 *
 * Reads @p map's `free` (255 free, anything else not: an obstacle or
 * unknown) and `rotation` (lanes run along the aligned frame's x axis, the
 * map's main direction); the map is not aligned again. @p frame gives the
 * metres: its resolution converts the options to pixels and its origin and
 * yaw place the poses (its size must be the map's).
 *
 * Clearance: D(q) is the distance from pixel q's centre to the nearest centre
 * of a cell that is not free (cv::distanceTransform, L2, precise mask;
 * outside the image counts as not free). Every segment of the path is clear:
 * each pixel q whose closed square it meets keeps D(q) >= radius - 0.5 + the
 * largest distance from q's centre to a point of the segment in that square
 * (all distances in pixels). As the distance to the nearest non-free centre
 * changes by at most the distance moved, every point of the path keeps at
 * least radius - 0.5 px from every non-free centre. A lane or a move along
 * an axis through pixel centres is clear wherever D >= radius. The one other
 * move is a diagonal step between two neighbouring pixel centres that both
 * keep D >= radius - 0.5 + sqrt(0.5): each half lies in its own pixel's
 * square, and the corner between them is sqrt(0.5) from both; routes take it
 * only between two parts that touch at that corner alone.
 *
 * Reachable part: the free pixel centres with D >= radius, 4-connected, and
 * joined across such corners, that the start reaches (by a clear segment to
 * a pixel whose square holds it), or, without a start, the largest such part
 * (ties: the one met first in row order). Coverable floor: the free cells
 * within half a swath of a pixel centre of the reachable part. Parts joined
 * only by a diagonal step that does not keep the margin above are not
 * reachable, and their cells count as unreachable.
 *
 * Lanes are lines of the aligned frame spaced swathWidth * (1 - overlap)
 * apart (evenly spread between the extreme ones), cut into their clear
 * stretches, each ending half a pixel inside it. Where the lanes leave
 * coverable cells unswept near their ends, a pass along the wall (below)
 * will sweep everything within half a swath of the boundary there, so those
 * ends are pulled back by half a swath; when that is so at most ends, every
 * end is, and a stretch left no longer than a pixel is dropped. Lane
 * stretches that continue one another from lane to lane form regions, swept
 * back and forth. The cells the regions leave unswept near the walls get
 * passes along the reachable part's boundary, straightened (Douglas-Peucker,
 * 1 px) wherever the straight segment is clear and still sweeps the cells
 * the pass is for. Regions and passes are then swept each as a whole, from
 * either end (a region also with its turns at the other ends of its lanes):
 * from where the path is, the next is the one whose end lies nearest: the
 * first end met by A* on the reachable pixels toward the end nearest in a
 * straight line, when that lies within five swaths, else the nearest along
 * the blocks of about a third of a swath that hold reachable pixels. It is
 * reached by a shortest route over the pixels (8 neighbours; within the
 * blocks' corridor when it was found on the blocks) made straight where a
 * clear segment allows. Then,
 * up to twice, passes for the coverable cells still unswept are added the
 * same way. The same map and options give the same path.
 *
 * Complexity: O(N) for the distance transform, the labelling, the lanes and
 * the swept band, N the pixels of the box of the free cells, plus the
 * searches (O(P) over the P pixels and blocks each settles, most of them
 * local).
 *
 * @return the path in poses and segments and its figures. A map where the
 *         robot fits nowhere (and no start is asked) gives no pose, zero
 *         lengths and areas, and every free cell unreachable.
 * @throws cv::Exception before any work: (StsOutOfRange) for a swath width
 *         not finite or <= 0, a radius not finite or < 0, an overlap outside
 *         [0, 1) or NaN, a frame resolution not finite or <= 0, a start not
 *         finite or outside the map's image; (StsBadArg) when @p frame's
 *         size is not the map's or the map has no rotation while it has free
 *         cells; (StsUnsupportedFormat) when `free` is not `CV_8UC1`. After
 *         the clearance is known: (StsOutOfRange) for a start where the
 *         robot does not fit, naming the nearest point where it does, in
 *         metres and in pixels.
 */
QUORVANE_NAV2_MAPS_EXPORT CoveragePath planCoveragePath(
  const AlignedMap & map, const MapFrame & frame, const CoveragePathOptions & options = {});

/// planCoveragePath() on alignMap(@p map.free) with @p map.frame. Throws as
/// both do, the options checked first.
QUORVANE_NAV2_MAPS_EXPORT CoveragePath
planCoveragePath(const Map & map, const CoveragePathOptions & options = {});

}  // namespace maps
}  // namespace quorvane

#endif  // QUORVANE_NAV2_MAPS__COVERAGE_PATH_HPP_
