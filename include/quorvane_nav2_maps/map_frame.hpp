#ifndef QUORVANE_NAV2_MAPS__MAP_FRAME_HPP_
#define QUORVANE_NAV2_MAPS__MAP_FRAME_HPP_

// Image pixels <-> points of the map frame.
//
// Pixels are OpenCV's (u, v): u the column, v the row with row 0 at the top,
// integer coordinates at pixel centres. With H the frame's height,
//   world = origin + R(yaw) * resolution * (u + 0.5, H - v - 0.5).
// Image angles are measured from +u toward +v (down the image), as the core
// library returns directions; map yaws from +x toward +y of the map frame.
//
// None of these functions checks the frame: a resolution of 0 or values that
// are not finite give results that are not finite. They touch nothing but
// their arguments and may run concurrently.

#include <vector>

#include <opencv2/core.hpp>

#include "quorvane_nav2_maps/export.hpp"
#include "quorvane_nav2_maps/map.hpp"

namespace quorvane
{
namespace maps
{

/// The map-frame point (metres) of image position @p pixel.
QUORVANE_NAV2_MAPS_EXPORT cv::Point2d pixelToWorld(
  const MapFrame & frame, const cv::Point2d & pixel);

/// The image position of map-frame point @p world (inverse of pixelToWorld()).
QUORVANE_NAV2_MAPS_EXPORT cv::Point2d worldToPixel(
  const MapFrame & frame, const cv::Point2d & world);

/// pixelToWorld() of every point, in order; returns a new vector.
QUORVANE_NAV2_MAPS_EXPORT std::vector<cv::Point2d> pixelsToWorld(
  const MapFrame & frame, const std::vector<cv::Point2d> & pixels);

/// worldToPixel() of every point, in order; returns a new vector.
QUORVANE_NAV2_MAPS_EXPORT std::vector<cv::Point2d> worldToPixels(
  const MapFrame & frame, const std::vector<cv::Point2d> & world);

/// The map-frame yaw (radians, in (-pi, pi]) of the image direction
/// @p imageAngle: the sign flips with the y axis, then the origin's yaw adds.
QUORVANE_NAV2_MAPS_EXPORT double imageAngleToYaw(const MapFrame & frame, double imageAngle);

/// The image angle (radians, in (-pi, pi]) of map-frame yaw @p yaw
/// (inverse of imageAngleToYaw()).
QUORVANE_NAV2_MAPS_EXPORT double yawToImageAngle(const MapFrame & frame, double yaw);

}  // namespace maps
}  // namespace quorvane

#endif  // QUORVANE_NAV2_MAPS__MAP_FRAME_HPP_
