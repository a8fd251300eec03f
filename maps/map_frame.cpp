// Image pixels <-> the map frame.

#include "quorvane_nav2_maps/map_frame.hpp"

#include <cmath>

namespace quorvane
{
namespace maps
{
namespace
{

/// @p angle brought into (-pi, pi].
double wrapAngle(double angle)
{
  const double wrapped = std::remainder(angle, 2.0 * CV_PI);
  return wrapped <= -CV_PI ? wrapped + 2.0 * CV_PI : wrapped;
}

}  // namespace

cv::Point2d pixelToWorld(const MapFrame & frame, const cv::Point2d & pixel)
{
  const double right = (pixel.x + 0.5) * frame.resolution;
  const double up = (static_cast<double>(frame.height) - 0.5 - pixel.y) * frame.resolution;
  const double c = std::cos(frame.originYaw);
  const double s = std::sin(frame.originYaw);
  return {frame.originX + c * right - s * up, frame.originY + s * right + c * up};
}

cv::Point2d worldToPixel(const MapFrame & frame, const cv::Point2d & world)
{
  const double dx = world.x - frame.originX;
  const double dy = world.y - frame.originY;
  const double c = std::cos(frame.originYaw);
  const double s = std::sin(frame.originYaw);
  const double right = c * dx + s * dy;
  const double up = -s * dx + c * dy;
  return {
    right / frame.resolution - 0.5,
    static_cast<double>(frame.height) - 0.5 - up / frame.resolution};
}

std::vector<cv::Point2d> pixelsToWorld(
  const MapFrame & frame, const std::vector<cv::Point2d> & pixels)
{
  std::vector<cv::Point2d> out;
  out.reserve(pixels.size());
  for (const cv::Point2d & p : pixels) {
    out.push_back(pixelToWorld(frame, p));
  }
  return out;
}

std::vector<cv::Point2d> worldToPixels(
  const MapFrame & frame, const std::vector<cv::Point2d> & world)
{
  std::vector<cv::Point2d> out;
  out.reserve(world.size());
  for (const cv::Point2d & p : world) {
    out.push_back(worldToPixel(frame, p));
  }
  return out;
}

double imageAngleToYaw(const MapFrame & frame, double imageAngle)
{
  return wrapAngle(frame.originYaw - imageAngle);
}

double yawToImageAngle(const MapFrame & frame, double yaw)
{
  return wrapAngle(frame.originYaw - yaw);
}

}  // namespace maps
}  // namespace quorvane
