#ifndef QUORVANE_NAV2_ALGO_CORE__TOOLS__SAMPLE_FLOOR_PLAN_HPP_
#define QUORVANE_NAV2_ALGO_CORE__TOOLS__SAMPLE_FLOOR_PLAN_HPP_

// A synthetic occupancy map for demonstrations, tests and benchmarks: a
// rectangular building with two rows of rooms on either side of a corridor,
// doors in every room, pillars in the corridor and furniture in the rooms,
// drawn turned by a chosen angle. Header only, so that tests and benchmarks
// can use it without linking the tool.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace quorvane
{
namespace tools
{
namespace sample_detail
{

/// Plan units: the building is kBuildingWidth x kBuildingHeight, its long
/// walls along the plan's x axis.
constexpr double kBuildingWidth = 1.8;
constexpr double kBuildingHeight = 1.0;
constexpr double kCorridorTop = 0.42;
constexpr double kCorridorBottom = 0.58;
constexpr double kWallThickness = 0.032;
constexpr double kDoorWidth = 0.08;

/// Uniform number in [lo, hi) from the generator's raw output, so the plan is
/// the same on every standard library (the distributions are not portable).
inline double uniform(std::mt19937 & rng, double lo, double hi)
{
  const double unit = static_cast<double>(rng() >> 8) / 16777216.0;
  return lo + (hi - lo) * unit;
}

/// Maps plan coordinates to image pixels: scale, turn by the wall angle about
/// the building's centre, and place that centre in the middle of the image.
struct PlanToImage
{
  double scale;
  double cosA;
  double sinA;
  cv::Point2d imageCentre;

  cv::Point operator()(double px, double py) const
  {
    const double dx = (px - kBuildingWidth / 2.0) * scale;
    const double dy = (py - kBuildingHeight / 2.0) * scale;
    const double x = imageCentre.x + dx * cosA - dy * sinA;
    const double y = imageCentre.y + dx * sinA + dy * cosA;
    return {static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y))};
  }
};

inline PlanToImage makePlanToImage(cv::Size size, double wallAngleDeg)
{
  const double a = wallAngleDeg * CV_PI / 180.0;
  const double c = std::cos(a);
  const double s = std::sin(a);
  // The turned building's bounding box must fit the image with a margin.
  const double boxW = kBuildingWidth * std::abs(c) + kBuildingHeight * std::abs(s);
  const double boxH = kBuildingWidth * std::abs(s) + kBuildingHeight * std::abs(c);
  const double scale = 0.92 * std::min(size.width / boxW, size.height / boxH);
  return {scale, c, s, {(size.width - 1) / 2.0, (size.height - 1) / 2.0}};
}

/// Fills the plan rectangle [x0, x1] x [y0, y1] (turned) with @p value.
inline void fillPlanRect(
  cv::Mat & img, const PlanToImage & toImage, double x0, double y0, double x1, double y1,
  uchar value)
{
  const std::array<cv::Point, 4> corners = {
    toImage(x0, y0), toImage(x1, y0), toImage(x1, y1), toImage(x0, y1)};
  cv::fillConvexPoly(img, corners.data(), 4, cv::Scalar(value), cv::LINE_8);
}

/// Wall of thickness @p t along x from @p x0 to @p x1 at height @p y, with a
/// door gap of width @p door centred on each of @p doorCentres.
inline void horizontalWallWithDoors(
  cv::Mat & img, const PlanToImage & toImage, double x0, double x1, double y, double t, double door,
  std::vector<double> doorCentres)
{
  std::sort(doorCentres.begin(), doorCentres.end());
  double start = x0;
  for (double centre : doorCentres) {
    fillPlanRect(img, toImage, start, y - t / 2, centre - door / 2, y + t / 2, 0);
    start = centre + door / 2;
  }
  fillPlanRect(img, toImage, start, y - t / 2, x1, y + t / 2, 0);
}

/// Room boundaries along x: @p rooms widths that vary by up to +-30 %.
inline std::vector<double> roomEdges(std::mt19937 & rng, int rooms)
{
  std::vector<double> widths(static_cast<size_t>(rooms));
  double total = 0.0;
  for (double & w : widths) {
    w = uniform(rng, 0.7, 1.3);
    total += w;
  }
  std::vector<double> edges{0.0};
  for (double w : widths) {
    edges.push_back(edges.back() + w * kBuildingWidth / total);
  }
  edges.back() = kBuildingWidth;
  return edges;
}

struct RoomRow
{
  double wallY;     //!< the corridor wall this row's doors open into
  double farY;      //!< the outer wall of the row
  double depthDir;  //!< +1 when the row lies below the corridor, -1 above
};

/// One row of rooms: dividing walls, the corridor wall with one door per room,
/// and a few pieces of furniture in each room.
inline void drawRoomRow(
  cv::Mat & img, const PlanToImage & toImage, std::mt19937 & rng, const RoomRow & row, double t,
  double door)
{
  // Three or four rooms, so the long walls along x outweigh the dividing walls.
  const int rooms = 3 + static_cast<int>(rng() % 2);
  const std::vector<double> edges = roomEdges(rng, rooms);
  const double yLo = std::min(row.wallY, row.farY);
  const double yHi = std::max(row.wallY, row.farY);
  std::vector<double> doors;
  for (size_t i = 0; i + 1 < edges.size(); ++i) {
    const double left = edges[i];
    const double right = edges[i + 1];
    if (i > 0) {
      fillPlanRect(img, toImage, left - t / 2, yLo, left + t / 2, yHi, 0);
    }
    const double margin = t + door * 0.6;
    doors.push_back(uniform(rng, left + margin, right - margin));
    // Furniture: axis-aligned blocks kept away from the walls and the door.
    const int pieces = static_cast<int>(rng() % 4);
    for (int k = 0; k < pieces; ++k) {
      const double w = uniform(rng, 0.03, 0.09);
      const double h = uniform(rng, 0.03, 0.07);
      const double x = uniform(rng, left + 2 * t, std::max(left + 2 * t, right - 2 * t - w));
      const double depth = uniform(rng, door * 1.5, std::max(door * 1.5, (yHi - yLo) - 2 * t - h));
      const double y = row.depthDir > 0 ? row.wallY + depth : row.wallY - depth - h;
      fillPlanRect(img, toImage, x, y, x + w, y + h, 0);
    }
  }
  horizontalWallWithDoors(img, toImage, 0.0, kBuildingWidth, row.wallY, t, door, doors);
}

/// Round pillars along the corridor, clear of its walls.
inline void drawPillars(cv::Mat & img, const PlanToImage & toImage, std::mt19937 & rng, double t)
{
  const int radius = std::max(1, static_cast<int>(std::lround(0.6 * t * toImage.scale)));
  const int pillars = 2 + static_cast<int>(rng() % 3);
  for (int k = 0; k < pillars; ++k) {
    const double x = uniform(rng, 0.15, kBuildingWidth - 0.15);
    const double y = kCorridorTop + (kCorridorBottom - kCorridorTop) * uniform(rng, 0.35, 0.65);
    cv::circle(img, toImage(x, y), radius, cv::Scalar(0), cv::FILLED, cv::LINE_8);
  }
}

}  // namespace sample_detail

/**
 * @brief A synthetic floor plan: free space 255, walls, furniture and the
 *        outside 0.
 *
 * The building is a 1.8 : 1 rectangle holding a corridor along its long axis
 * with a row of three or four rooms on each side, one door per room, pillars
 * in the corridor and up to three pieces of furniture per room. Its long walls
 * run at @p wallAngleDeg degrees, measured from +x toward +y in image
 * coordinates (y down), so that angle modulo 180 is the plan's main direction.
 * Everything is drawn without anti-aliasing and scaled to the image: any size
 * from about 200 x 200 to 4000 x 4000 pixels gives the same plan.
 *
 * @param size         Image size in pixels.
 * @param wallAngleDeg Direction of the long walls, in degrees.
 * @param seed         Room widths, doors, pillars and furniture; the same seed
 *                     gives the same image.
 * @return A new `CV_8UC1` image of @p size.
 */
inline cv::Mat makeSampleFloorPlan(cv::Size size, double wallAngleDeg, unsigned seed)
{
  using namespace sample_detail;
  std::mt19937 rng(seed);
  cv::Mat img = cv::Mat::zeros(size, CV_8UC1);
  const PlanToImage toImage = makePlanToImage(size, wallAngleDeg);
  // Wall thickness and door width in plan units, at least 2 and 6 pixels.
  // The walls are a little thicker than usual so that the inner rectangle of
  // half-metre cells (at 0.05 m per pixel) cannot straddle one at 800 x 600.
  const double t = std::max(kWallThickness, 2.0 / toImage.scale);
  const double door = std::max(kDoorWidth, 6.0 / toImage.scale);

  // 1. the building's inside is free, its outer walls and the outside are not
  fillPlanRect(img, toImage, t, t, kBuildingWidth - t, kBuildingHeight - t, 255);
  // 2. rooms above and below the corridor, with their doors and furniture
  drawRoomRow(img, toImage, rng, {kCorridorTop, 0.0, -1.0}, t, door);
  drawRoomRow(img, toImage, rng, {kCorridorBottom, kBuildingHeight, 1.0}, t, door);
  // 3. pillars in the corridor
  drawPillars(img, toImage, rng, t);
  return img;
}

}  // namespace tools
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__TOOLS__SAMPLE_FLOOR_PLAN_HPP_
