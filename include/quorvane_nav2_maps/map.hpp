#ifndef QUORVANE_NAV2_MAPS__MAP_HPP_
#define QUORVANE_NAV2_MAPS__MAP_HPP_

// Occupancy maps in the form the core library works on: a free-space image
// (CV_8UC1, 255 free, 0 otherwise, row 0 at the top), the unknown cells, and
// the frame that places the image in the world. Read from a map_server YAML
// with its image, from a bare image, from a nav_msgs/OccupancyGrid or from a
// YAML file holding one; written back as an OccupancyGrid.
//
// Every function here is reentrant: it touches only its arguments and the
// files it is given, so calls on different objects may run concurrently.
// Errors follow the toolkit's one rule (errors.hpp): MapError for map data.

#include <cstdint>
#include <string>

#include <nav_msgs/msg/occupancy_grid.hpp>
#include <opencv2/core.hpp>

#include "quorvane_nav2_maps/errors.hpp"
#include "quorvane_nav2_maps/export.hpp"

namespace quorvane
{
namespace maps
{

/// The smallest resolution the readers accept, in metres per pixel (1 µm).
/// Finer values are refused as they are, rather than leading to sizes that
/// overflow later.
constexpr double kMinResolution = 1e-6;

/// The default pixel budget of the readers (LoadOptions::maxPixels,
/// GridOptions::maxPixels): 2^28 pixels, a 16384 x 16384 image, about 1 GiB
/// for the map's three masks and an 8-bit grey image.
constexpr std::int64_t kDefaultMaxPixels = std::int64_t{1} << 28;

/// Where an image lies in the world. The image's bottom-left corner is at
/// (originX, originY) of frame `frameId`; its +x axis (columns) points along
/// originYaw and its rows go up the map frame's turned +y axis.
struct MapFrame
{
  double resolution = 0.05;  //!< metres per pixel, finite and >= kMinResolution
  double originX = 0.0;      //!< metres
  double originY = 0.0;      //!< metres
  double originYaw = 0.0;    //!< radians, counter-clockwise
  int width = 0;             //!< pixels (image columns)
  int height = 0;            //!< pixels (image rows)
  std::string frameId = "map";
};

/// How a map_server YAML asks its image to be read. Free cells are decided by
/// the thresholds in every mode.
enum class MapMode { Trinary, Scale, Raw };

/// Name of a mode as written in the YAML ("trinary", "scale", "raw").
QUORVANE_NAV2_MAPS_EXPORT const char * mapModeName(MapMode mode);

/// A map_server description: the YAML's fields, or the defaults for a bare image.
struct MapServerInfo
{
  std::string image;             //!< image path, resolved against the YAML's folder
  double resolution = 0.05;      //!< metres per pixel, > 0
  double originX = 0.0;          //!< metres
  double originY = 0.0;          //!< metres
  double originYaw = 0.0;        //!< radians
  bool negate = false;           //!< whether white means occupied
  double occupiedThresh = 0.65;  //!< occupied when p > this
  double freeThresh = 0.196;     //!< free when p < this
  MapMode mode = MapMode::Trinary;
};

/// What a map was read from.
enum class MapSource { Image, MapServerYaml, OccupancyGrid };

/// A map ready for the core library.
struct Map
{
  cv::Mat free;     //!< CV_8UC1, 255 for a free cell, 0 otherwise; row 0 at the top
  cv::Mat unknown;  //!< CV_8UC1, same size: 255 where the cell is unknown
  MapFrame frame;   //!< size equals free's
  MapSource source = MapSource::Image;
  /// The description the image was read with (MapSource::Image and
  /// MapSource::MapServerYaml); defaults for a grid.
  MapServerInfo mapServer;
  /// CV_8UC1, same size as free: 255 at the cells of grey 205 (what map
  /// savers write for unknown) that a generous free threshold, or nav2's
  /// averaging of an alpha channel, made free. Empty for a grid.
  cv::Mat unknownGreyFree;
};

/// How images are read.
struct LoadOptions
{
  /// Grey 205 never counts as free (it is counted unknown instead), even when
  /// the free threshold would make it free.
  bool strictUnknown = false;
  /// Metres per pixel of a bare image (finite, >= kMinResolution). Its other
  /// fields are MapServerInfo's defaults.
  double bareImageResolution = 0.05;
  /// The largest image read, in pixels (width x height, whatever the depth
  /// and channels), >= 1. A file's size is taken from its header before
  /// anything is decoded, so a small file claiming a huge image is refused
  /// without allocating it.
  std::int64_t maxPixels = kDefaultMaxPixels;
};

/// How grid values become free cells.
struct GridOptions
{
  /// A cell is free when 0 <= value <= freeMax (0 to 100).
  int freeMax = 0;
  /// Unknown cells (-1) count as free too; they stay marked unknown.
  bool unknownIsFree = false;
  /// The largest grid converted, in cells (width x height), >= 1; checked
  /// before anything is allocated.
  std::int64_t maxPixels = kDefaultMaxPixels;
};

/**
 * @brief Reads a map_server YAML description (not its image).
 *
 * `image` and `resolution` are required; `origin` ([x, y] or [x, y, yaw])
 * defaults to 0, `negate` (0/1 or a boolean) to false, `occupied_thresh` to
 * 0.65, `free_thresh` to 0.196, `mode` to trinary. A relative image path is
 * resolved against the YAML's folder.
 * @throws MapError for a missing or unparsable file, a missing key, a value of
 *         the wrong type, not finite or out of range (resolution <= 0,
 *         thresholds outside [0, 1], free_thresh > occupied_thresh).
 */
QUORVANE_NAV2_MAPS_EXPORT MapServerInfo readMapServerYaml(const std::string & path);

/**
 * @brief A map from an image as `cv::imread(..., IMREAD_UNCHANGED)` loads it.
 *
 * The shade of a pixel is the mean of its colour channels over the largest
 * value (8 or 16 bits; one, three or four channels); p = 1 - shade, or shade
 * when `negate`. Free when p < free_thresh, occupied when p > occupied_thresh,
 * unknown otherwise. With an alpha channel, trinary mode averages the opacity
 * in with the colours and the other modes count a pixel that is not fully
 * opaque as unknown. The frame comes from @p info and the image size, with
 * frame id "map".
 * @throws MapError for an empty image, an unsupported depth or channel count,
 *         or a resolution or origin in @p info that is not finite (or <= 0).
 */
QUORVANE_NAV2_MAPS_EXPORT Map
mapFromImage(const cv::Mat & image, const MapServerInfo & info, const LoadOptions & options = {});

/**
 * @brief Reads a map_server YAML and its image (readMapServerYaml() then
 *        mapFromImage()).
 * @throws MapError as those do, and for a missing or unreadable image.
 */
QUORVANE_NAV2_MAPS_EXPORT Map
loadMapServerYaml(const std::string & path, const LoadOptions & options = {});

/**
 * @brief A map from an OccupancyGrid.
 *
 * `data` is row-major from the cell at the origin, so grid row 0 becomes the
 * bottom image row. Free: 0 <= value <= `freeMax`; unknown: -1 (free as well
 * when `unknownIsFree`). The frame takes the header's frame_id ("map" when
 * empty), the origin position, the yaw of the origin's orientation (roll and
 * pitch are ignored) and the resolution: a float32 in the message, read as
 * the shortest decimal that gives the same float back, so a map published
 * from a YAML with resolution 0.05 comes back as exactly 0.05.
 * @throws MapError when data.size() != width * height, width or height is 0
 *         or width * height exceeds INT_MAX, the resolution is not finite or
 *         <= 0, the origin position is not finite, the orientation cannot be
 *         normalised (not finite or of length ~0), a value lies outside
 *         -1..100, or `freeMax` lies outside 0..100.
 */
QUORVANE_NAV2_MAPS_EXPORT Map
fromOccupancyGrid(const nav_msgs::msg::OccupancyGrid & grid, const GridOptions & options = {});

/**
 * @brief The map as an OccupancyGrid: free 0, unknown -1, everything else
 *        100; the image's bottom row first. Header stamp zero, frame_id from
 *        the map's frame; origin orientation a pure yaw.
 * @throws MapError when `free` is not a non-empty CV_8UC1 image, `unknown` is
 *         neither empty nor a CV_8UC1 image of the same size, or the frame is
 *         not finite (resolution <= 0 included).
 */
QUORVANE_NAV2_MAPS_EXPORT nav_msgs::msg::OccupancyGrid toOccupancyGrid(const Map & map);

/**
 * @brief Parses YAML text holding one OccupancyGrid message: the block style
 *        `ros2 topic echo --once --full-length /map` prints (a trailing `---`
 *        is fine) or the generated type's flow style `to_yaml(msg, true)`.
 *
 * `info` (with `resolution`, `width`, `height`) and `data` are required;
 * `header`, `map_load_time` and `origin` and their members default to zero
 * (orientation w to 1). Unknown keys are an error. The values are checked
 * only as far as their types go (integers, numbers, data values in int8);
 * fromOccupancyGrid() checks the rest. The generated to_yaml() prints
 * numbers with six significant digits unless the stream's precision is
 * raised (`to_block_style_yaml(msg, out)` after `out << std::setprecision(17)`):
 * a turned origin then comes back turned by a slightly different yaw. The
 * block list under `data` that `ros2 topic echo` prints is read directly, so
 * a large map takes a fraction of a second.
 * @throws MapError for malformed YAML, a missing or unknown key, a value of
 *         the wrong type or out of its field's range.
 */
QUORVANE_NAV2_MAPS_EXPORT nav_msgs::msg::OccupancyGrid parseOccupancyGridYaml(
  const std::string & text);

/// parseOccupancyGridYaml() on a file's content.
/// @throws MapError also for a missing or unreadable file.
QUORVANE_NAV2_MAPS_EXPORT nav_msgs::msg::OccupancyGrid readOccupancyGridYaml(
  const std::string & path);

/**
 * @brief Loads any map the toolkit reads, recognised by content: a YAML file
 *        (.yaml/.yml) whose first key is one of an OccupancyGrid's (header,
 *        info, data) is a grid (readOccupancyGridYaml() then
 *        fromOccupancyGrid() with @p gridOptions); any other YAML a map_server
 *        description (loadMapServerYaml()); anything else a bare image read
 *        with @p options' resolution and the default thresholds.
 * @throws MapError as the reader it picks.
 */
QUORVANE_NAV2_MAPS_EXPORT Map loadMap(
  const std::string & path, const LoadOptions & options = {}, const GridOptions & gridOptions = {});

}  // namespace maps
}  // namespace quorvane

#endif  // QUORVANE_NAV2_MAPS__MAP_HPP_
