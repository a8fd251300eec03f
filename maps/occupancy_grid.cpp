// nav_msgs/OccupancyGrid <-> Map.

#include <climits>
#include <cmath>
#include <cstdint>
#include <string>

#include "map_workers.hpp"
#include "quorvane_nav2_maps/map.hpp"
#include "utf8.hpp"

namespace quorvane
{
namespace maps
{
namespace
{

constexpr std::int8_t kGridFree = 0;
constexpr std::int8_t kGridOccupied = 100;
constexpr std::int8_t kGridUnknown = -1;

}  // namespace

Map fromOccupancyGrid(const nav_msgs::msg::OccupancyGrid & grid, const GridOptions & options)
{
  if (options.freeMax < 0 || options.freeMax > 100) {
    throw MapError("freeMax must lie in 0..100, not " + std::to_string(options.freeMax));
  }
  if (options.maxPixels < 1) {
    throw MapError(
      "GridOptions::maxPixels must be positive, not " + std::to_string(options.maxPixels));
  }
  const std::uint64_t width = grid.info.width;
  const std::uint64_t height = grid.info.height;
  if (width == 0 || height == 0) {
    throw MapError("the OccupancyGrid has no cells (width or height 0)");
  }
  if (width * height > static_cast<std::uint64_t>(options.maxPixels)) {
    throw MapError(
      "the OccupancyGrid is too large: " + std::to_string(width) + " x " + std::to_string(height) +
      " = " + std::to_string(width * height) +
      " cells, more than GridOptions::maxPixels = " + std::to_string(options.maxPixels));
  }
  if (width * height > static_cast<std::uint64_t>(INT_MAX)) {
    throw MapError(
      "the OccupancyGrid is too large: width x height = " + std::to_string(width) + " x " +
      std::to_string(height) + " exceeds " + std::to_string(INT_MAX) + " cells");
  }
  if (grid.data.size() != width * height) {
    throw MapError(
      "the OccupancyGrid's data holds " + std::to_string(grid.data.size()) +
      " values, width x height = " + std::to_string(width * height));
  }
  const double resolution = detail::shortestDecimal(grid.info.resolution);
  const auto & position = grid.info.origin.position;
  if (!std::isfinite(position.x) || !std::isfinite(position.y) || !std::isfinite(position.z)) {
    throw MapError("the OccupancyGrid's origin position must be finite");
  }
  const double yaw = detail::yawOfQuaternion(grid.info.origin.orientation);
  if (!detail::isValidUtf8(grid.header.frame_id)) {
    throw MapError("the OccupancyGrid's header.frame_id is not valid UTF-8 text");
  }
  const int w = static_cast<int>(width);
  const int h = static_cast<int>(height);
  for (std::size_t i = 0; i < grid.data.size(); ++i) {
    const int v = grid.data[i];
    if (v < -1 || v > 100) {
      throw MapError(
        "OccupancyGrid value " + std::to_string(v) + " at index " + std::to_string(i) +
        " lies outside -1..100");
    }
  }
  Map map;
  map.frame = detail::checkedFrame(
    resolution, position.x, position.y, yaw, w, h,
    grid.header.frame_id.empty() ? std::string("map") : grid.header.frame_id);
  map.free.create(h, w, CV_8UC1);
  map.unknown.create(h, w, CV_8UC1);
  const std::int8_t freeMax = static_cast<std::int8_t>(options.freeMax);
  for (int r = 0; r < h; ++r) {
    const std::int8_t * in = grid.data.data() + static_cast<std::size_t>(r) * width;
    uchar * freeRow = map.free.ptr<uchar>(h - 1 - r);
    uchar * unknownRow = map.unknown.ptr<uchar>(h - 1 - r);
    for (int c = 0; c < w; ++c) {
      const bool unknown = in[c] == kGridUnknown;
      const bool free = unknown ? options.unknownIsFree : in[c] <= freeMax;
      freeRow[c] = free ? 255 : 0;
      unknownRow[c] = unknown ? 255 : 0;
    }
  }
  map.source = MapSource::OccupancyGrid;
  map.mapServer.resolution = resolution;
  map.mapServer.originX = position.x;
  map.mapServer.originY = position.y;
  map.mapServer.originYaw = yaw;
  return map;
}

nav_msgs::msg::OccupancyGrid toOccupancyGrid(const Map & map)
{
  if (map.free.empty() || map.free.type() != CV_8UC1 || map.free.dims != 2) {
    throw MapError("the map's free image must be a non-empty CV_8UC1 image");
  }
  const bool hasUnknown = !map.unknown.empty();
  if (hasUnknown && (map.unknown.type() != CV_8UC1 || map.unknown.size() != map.free.size())) {
    throw MapError("the map's unknown image must be empty or a CV_8UC1 image of the free's size");
  }
  const MapFrame & f = map.frame;
  detail::checkedFrame(
    f.resolution, f.originX, f.originY, f.originYaw, map.free.cols, map.free.rows, f.frameId);
  nav_msgs::msg::OccupancyGrid grid;
  grid.header.frame_id = f.frameId;
  grid.info.resolution = static_cast<float>(f.resolution);
  grid.info.width = static_cast<std::uint32_t>(map.free.cols);
  grid.info.height = static_cast<std::uint32_t>(map.free.rows);
  grid.info.origin.position.x = f.originX;
  grid.info.origin.position.y = f.originY;
  grid.info.origin.orientation = detail::quaternionOfYaw(f.originYaw);
  const int h = map.free.rows;
  const int w = map.free.cols;
  grid.data.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  for (int r = 0; r < h; ++r) {
    const uchar * freeRow = map.free.ptr<uchar>(h - 1 - r);
    const uchar * unknownRow = hasUnknown ? map.unknown.ptr<uchar>(h - 1 - r) : nullptr;
    std::int8_t * out =
      grid.data.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(w);
    for (int c = 0; c < w; ++c) {
      if (unknownRow != nullptr && unknownRow[c] != 0) {
        out[c] = kGridUnknown;
      } else {
        out[c] = freeRow[c] != 0 ? kGridFree : kGridOccupied;
      }
    }
  }
  return grid;
}

}  // namespace maps
}  // namespace quorvane
