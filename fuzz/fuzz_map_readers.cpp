// Fuzz target: the map toolkit's readers on arbitrary bytes. Each must either
// return a map or message or throw quorvane::maps::MapError; any other
// exception aborts.
//
// Input layout: one mode byte, then
//   mode % 4 == 0: OccupancyGrid YAML text. Read with and without the
//     block-list shortcut (both must give the same message, or the same
//     error), then turned into a map, which must publish back the same cells
//     (1..100 as 100);
//   mode % 4 == 1: map_server YAML text (written to a scratch file), then a
//     grey image from the input's last bytes (at most 16 x 16) read with it;
//   mode % 4 == 2: a binary OccupancyGrid: width, height (u8 each, or u32
//     when the flag byte is odd), resolution (f32), origin x, y and
//     quaternion x, y, z, w (pickDouble), free_max (u8), then the data bytes;
//   mode % 4 == 3: the bytes of an image file, decoded with a budget of
//     2^16 pixels: a decoded image has its header's size, within the budget.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>

#include <unistd.h>

#include "fuzz_input.hpp"
#include "map_workers.hpp"
#include "quorvane_nav2_maps/map.hpp"

namespace
{

using nav_msgs::msg::OccupancyGrid;
using quorvane::maps::MapError;

/// The cells a published map carries for a grid read with the default options.
bool publishesSameCells(const OccupancyGrid & grid, const OccupancyGrid & back)
{
  if (back.data.size() != grid.data.size()) {
    return false;
  }
  for (std::size_t i = 0; i < grid.data.size(); ++i) {
    const int v = grid.data[i];
    const int expected = v == -1 ? -1 : (v == 0 ? 0 : 100);
    if (back.data[i] != expected) {
      return false;
    }
  }
  return true;
}

void gridRoundTrip(const OccupancyGrid & grid, const quorvane::maps::GridOptions & options)
{
  quorvane::maps::Map map;
  try {
    map = quorvane::maps::fromOccupancyGrid(grid, options);
  } catch (const MapError &) {
    return;
  }
  FUZZ_CHECK(map.free.rows == static_cast<int>(grid.info.height));
  FUZZ_CHECK(map.free.cols == static_cast<int>(grid.info.width));
  if (options.freeMax == 0 && !options.unknownIsFree) {
    FUZZ_CHECK(publishesSameCells(grid, quorvane::maps::toOccupancyGrid(map)));
  }
}

void gridText(const std::string & text)
{
  OccupancyGrid fast;
  OccupancyGrid slow;
  std::string fastError;
  std::string slowError;
  try {
    fast = quorvane::maps::detail::parseOccupancyGridYaml(text, true);
  } catch (const MapError & e) {
    fastError = e.what();
  }
  try {
    slow = quorvane::maps::detail::parseOccupancyGridYaml(text, false);
  } catch (const MapError & e) {
    slowError = e.what();
  }
  // Both accept the same message, or both refuse it with the same error.
  if (fastError != slowError || !(fast == slow)) {
    std::fprintf(stderr, "shortcut: '%s', parser: '%s'\n", fastError.c_str(), slowError.c_str());
  }
  FUZZ_CHECK(fastError == slowError);
  FUZZ_CHECK(fast == slow);
  if (fastError.empty()) {
    gridRoundTrip(fast, {});
  }
}

void mapServerText(const std::string & text, const uint8_t * data, size_t size)
{
  static const std::string path = "/tmp/quorvane_fuzz_map_" + std::to_string(::getpid()) + ".yaml";
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  quorvane::maps::MapServerInfo info;
  try {
    info = quorvane::maps::readMapServerYaml(path);
  } catch (const MapError &) {
    return;
  }
  const int side = static_cast<int>(size % 16) + 1;
  cv::Mat image(side, side, CV_8UC1);
  for (int i = 0; i < side * side; ++i) {
    image.data[i] = size > 0 ? data[static_cast<size_t>(i) % size] : 0;
  }
  try {
    const quorvane::maps::Map map = quorvane::maps::mapFromImage(image, info);
    FUZZ_CHECK(cv::countNonZero(map.free & map.unknown) == 0);
  } catch (const MapError &) {
  }
}

void imageFile(const std::string & bytes)
{
  constexpr std::int64_t kBudget = std::int64_t{1} << 16;
  cv::Mat image;
  try {
    image = quorvane::maps::detail::decodeMapImage(bytes, "fuzz", kBudget);
  } catch (const MapError &) {
    return;
  }
  const auto header = quorvane::maps::detail::readImageHeader(
    reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
  FUZZ_CHECK(header.format != nullptr);
  FUZZ_CHECK(header.width == static_cast<std::uint64_t>(image.cols));
  FUZZ_CHECK(header.height == static_cast<std::uint64_t>(image.rows));
  FUZZ_CHECK(static_cast<std::int64_t>(image.total()) <= kBudget);
}

void binaryGrid(quorvane_fuzz::ByteReader & in)
{
  OccupancyGrid grid;
  const bool wide = (in.u8() & 1U) != 0;
  grid.info.width = wide ? static_cast<uint32_t>(in.i32()) : in.u8();
  grid.info.height = wide ? static_cast<uint32_t>(in.i32()) : in.u8();
  grid.info.resolution = in.f32();
  grid.info.origin.position.x = quorvane_fuzz::pickDouble(in);
  grid.info.origin.position.y = quorvane_fuzz::pickDouble(in);
  grid.info.origin.orientation.x = quorvane_fuzz::pickDouble(in);
  grid.info.origin.orientation.y = quorvane_fuzz::pickDouble(in);
  grid.info.origin.orientation.z = quorvane_fuzz::pickDouble(in);
  grid.info.origin.orientation.w = quorvane_fuzz::pickDouble(in);
  quorvane::maps::GridOptions options;
  const uint8_t freeMax = in.u8();
  options.freeMax = freeMax % 110;
  options.unknownIsFree = freeMax >= 128;
  while (in.remaining() > 0) {
    grid.data.push_back(static_cast<int8_t>(in.u8()));
  }
  gridRoundTrip(grid, options);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * data, size_t size)
{
  quorvane_fuzz::ByteReader in(data, size);
  const uint8_t mode = in.u8();
  const std::string text(
    reinterpret_cast<const char *>(data) + (size > 0 ? 1 : 0), size > 0 ? size - 1 : 0);
  try {
    switch (mode % 4) {
      case 0:
        gridText(text);
        break;
      case 1:
        mapServerText(text, data, size);
        break;
      case 2:
        binaryGrid(in);
        break;
      default:
        imageFile(text);
        break;
    }
  } catch (const MapError &) {
    // documented
  } catch (const std::exception & e) {
    std::fprintf(stderr, "undocumented exception: %s\n", e.what());
    std::abort();
  }
  return 0;
}
