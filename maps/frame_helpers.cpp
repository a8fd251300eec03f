// Frame helpers the readers and the message writers share: a checked frame,
// yaw <-> quaternion, and the decimal a float32 resolution was written as.

#include <charconv>
#include <cmath>
#include <string>

#include "map_workers.hpp"
#include "utf8.hpp"

namespace quorvane
{
namespace maps
{
namespace detail
{

MapFrame checkedFrame(
  double resolution, double originX, double originY, double originYaw, int width, int height,
  const std::string & frameId)
{
  if (!std::isfinite(resolution) || resolution <= 0.0) {
    throw MapError("the resolution must be a finite number > 0, not " + numberText(resolution));
  }
  if (resolution < kMinResolution) {
    throw MapError(
      "the resolution " + numberText(resolution) + " m is below the smallest the toolkit reads, " +
      numberText(kMinResolution) + " m");
  }
  if (!std::isfinite(originX) || !std::isfinite(originY) || !std::isfinite(originYaw)) {
    throw MapError("the origin must be finite");
  }
  if (!isValidUtf8(frameId)) {
    throw MapError("the frame id is not valid UTF-8 text");
  }
  MapFrame frame;
  frame.resolution = resolution;
  frame.originX = originX;
  frame.originY = originY;
  frame.originYaw = originYaw;
  frame.width = width;
  frame.height = height;
  frame.frameId = frameId;
  return frame;
}

double yawOfQuaternion(const geometry_msgs::msg::Quaternion & q)
{
  const double norm = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
  if (!std::isfinite(norm) || norm < 1e-9) {
    throw MapError("the origin's orientation is not a quaternion that can be normalised");
  }
  const double x = q.x / norm;
  const double y = q.y / norm;
  const double z = q.z / norm;
  const double w = q.w / norm;
  return std::atan2(2.0 * (w * z + x * y), 1.0 - 2.0 * (y * y + z * z));
}

geometry_msgs::msg::Quaternion quaternionOfYaw(double yaw)
{
  geometry_msgs::msg::Quaternion q;
  q.x = 0.0;
  q.y = 0.0;
  q.z = std::sin(yaw / 2.0);
  q.w = std::cos(yaw / 2.0);
  return q;
}

double shortestDecimal(float value)
{
  if (!std::isfinite(value)) {
    return static_cast<double>(value);
  }
  char text[64];
  const auto written = std::to_chars(text, text + sizeof(text), value);
  double out = static_cast<double>(value);
  std::from_chars(text, written.ptr, out);
  return out;
}

std::string numberText(double value)
{
  if (std::isnan(value)) {
    return "nan";
  }
  char text[64];
  const auto written = std::to_chars(text, text + sizeof(text), value);
  return std::string(text, written.ptr);
}

}  // namespace detail
}  // namespace maps
}  // namespace quorvane
