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
//
// Files. Only regular files are opened, without waiting, so a FIFO or a
// device never blocks a reader. A file that cannot be read gets one message
// per cause, naming the file ("map file", "OccupancyGrid file" or "image
// file") and its path last:
//   "<file> not found: <path>"
//   "<file> is not a regular file (a directory|a FIFO|a character device|
//    a block device|a socket|a symbolic link loop): <path>"
//   "<file> is unreadable (permission denied|<system reason>): <path>"
//   "image file cannot be decoded (<reason>): <path>"
//
// Text. YAML files must be UTF-8 (a leading byte order mark and CRLF line
// ends are fine) without control characters other than tab and line breaks,
// and hold one document (a trailing "---" or "..." is fine). Text the
// readers return from a file (frame ids, image names) is therefore valid
// UTF-8; paths the caller passes in are returned as given.

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
 * 0.65, `free_thresh` to 0.196, `mode` to trinary. Other keys are ignored. A
 * relative image path is resolved against the YAML's folder.
 * @throws MapError for a file that cannot be read (see the top of this
 *         file), text that is not UTF-8 or holds control characters,
 *         malformed YAML, more than one document, a key given twice, a
 *         missing key, a value of the wrong type, not finite (NaN, .inf) or
 *         out of range (resolution <= 0 or below kMinResolution, thresholds
 *         outside [0, 1], free_thresh > occupied_thresh); the message starts
 *         "malformed map YAML <path>: " after the file's causes.
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
 * opaque as unknown. With `options.strictUnknown`, a pixel whose colour mean
 * is exactly 205 is unknown whatever the thresholds and opacity say; without
 * it, such pixels counted free are marked in Map::unknownGreyFree. The frame
 * comes from @p info and the image size, with frame id "map".
 * @throws MapError for an empty image, an unsupported depth or channel count,
 *         more pixels than `options.maxPixels` ("the image is too large: W x
 *         H = N pixels, more than LoadOptions::maxPixels = M") or a budget
 *         < 1, a resolution in @p info that is not finite, <= 0 or below
 *         kMinResolution, an origin or threshold that is not finite.
 */
QUORVANE_NAV2_MAPS_EXPORT Map
mapFromImage(const cv::Mat & image, const MapServerInfo & info, const LoadOptions & options = {});

/**
 * @brief Reads a map_server YAML and its image (readMapServerYaml() then
 *        mapFromImage()).
 *
 * The image must be a PNG, a PNM (PBM/PGM/PPM, P1..P6) or a BMP: the size
 * these declare in their header is checked against `options.maxPixels`
 * before anything is decoded. Other formats are refused, as their decoded
 * size cannot be known in advance.
 * @throws MapError as those do; for an image file that cannot be read (see
 *         the top of this file), is of another format or does not decode
 *         ("image file cannot be decoded (<reason>): <path>"); and for an
 *         image whose header declares more than `options.maxPixels` pixels
 *         ("image file is too large: W x H = N pixels, more than
 *         LoadOptions::maxPixels = M: <path>").
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
 * @throws MapError when width or height is 0, width * height exceeds
 *         `options.maxPixels` ("the OccupancyGrid is too large: W x H = N
 *         cells, more than GridOptions::maxPixels = M", checked before
 *         anything is allocated) or INT_MAX, data.size() != width * height,
 *         the resolution is not finite, <= 0 or below kMinResolution, the
 *         origin position is not finite, the orientation cannot be
 *         normalised (not finite or of length ~0), the frame_id is not valid
 *         UTF-8, a value lies outside -1..100, `freeMax` lies outside 0..100
 *         or `maxPixels` is < 1.
 */
QUORVANE_NAV2_MAPS_EXPORT Map
fromOccupancyGrid(const nav_msgs::msg::OccupancyGrid & grid, const GridOptions & options = {});

/**
 * @brief The map as an OccupancyGrid: free 0, unknown -1, everything else
 *        100; the image's bottom row first. Header stamp zero, frame_id from
 *        the map's frame; origin orientation a pure yaw.
 * @throws MapError when `free` is not a non-empty CV_8UC1 image, `unknown` is
 *         neither empty nor a CV_8UC1 image of the same size, the frame is
 *         not finite (a resolution <= 0 or below kMinResolution included) or
 *         its frame id is not valid UTF-8.
 */
QUORVANE_NAV2_MAPS_EXPORT nav_msgs::msg::OccupancyGrid toOccupancyGrid(const Map & map);

/**
 * @brief Parses YAML text holding one OccupancyGrid message: the block style
 *        `ros2 topic echo --once --full-length /map` prints (a trailing `---`
 *        is fine) or the generated type's flow style `to_yaml(msg, true)`.
 *
 * `info` (with `resolution`, `width`, `height`) and `data` are required;
 * `header`, `map_load_time` and `origin` and their members default to zero
 * (orientation w to 1). Unknown keys and keys given twice are an error. The
 * values are checked as far as their types go (integers in their range,
 * finite numbers, float32 values in a float's range without underflowing to
 * 0, data values in int8); fromOccupancyGrid() checks the rest. The text
 * must be UTF-8 without control characters and hold one message (a trailing
 * `---` or `...` is fine). The generated to_yaml() prints
 * numbers with six significant digits unless the stream's precision is
 * raised (`to_block_style_yaml(msg, out)` after `out << std::setprecision(17)`):
 * a turned origin then comes back turned by a slightly different yaw. The
 * block list under `data` that `ros2 topic echo` prints is read directly, so
 * a large map takes a fraction of a second; the result is the YAML parser's
 * on every text, the shortcut only saves time.
 * @throws MapError ("malformed OccupancyGrid YAML: [line N: ]<reason>") for
 *         text that is not UTF-8 or holds control characters, malformed YAML,
 *         more than one document, a missing, unknown or repeated key, a
 *         value of the wrong type, not finite or out of its field's range.
 */
QUORVANE_NAV2_MAPS_EXPORT nav_msgs::msg::OccupancyGrid parseOccupancyGridYaml(
  const std::string & text);

/// parseOccupancyGridYaml() on a file's content.
/// @throws MapError also for a file that cannot be read (see the top of this
///         file); parse errors end with " in <path>".
QUORVANE_NAV2_MAPS_EXPORT nav_msgs::msg::OccupancyGrid readOccupancyGridYaml(
  const std::string & path);

/**
 * @brief Loads any map the toolkit reads, recognised by content: a YAML file
 *        (.yaml/.yml) whose first key is one of an OccupancyGrid's (header,
 *        info, data) is a grid (readOccupancyGridYaml() then
 *        fromOccupancyGrid() with @p gridOptions); any other YAML a map_server
 *        description (loadMapServerYaml()); anything else a bare image read
 *        with @p options' resolution and the default thresholds. The file is
 *        read once.
 * @throws MapError as the reader it picks ("map file ..." for a YAML file
 *         that cannot be read).
 */
QUORVANE_NAV2_MAPS_EXPORT Map loadMap(
  const std::string & path, const LoadOptions & options = {}, const GridOptions & gridOptions = {});

}  // namespace maps
}  // namespace quorvane

#endif  // QUORVANE_NAV2_MAPS__MAP_HPP_
