#ifndef QUORVANE_NAV2_ALGO_CORE__TOOLS__MAP_IO_HPP_
#define QUORVANE_NAV2_ALGO_CORE__TOOLS__MAP_IO_HPP_

// Reading occupancy maps the way the ROS map server does: a YAML description
// with its PGM/PNG image, or a bare image, turned into a free-space mask
// (255 free, 0 occupied or unknown).

#include <stdexcept>
#include <string>

#include <opencv2/core.hpp>

namespace quorvane
{
namespace tools
{

/// How the YAML's `mode` asks the image to be read. Only free cells matter
/// here, and they are decided by the thresholds in every mode.
enum class MapMode { Trinary, Scale, Raw };

/// A map's description: the YAML's fields, or the defaults for a bare image.
struct MapMetadata
{
  std::string image;             //!< image path, resolved against the YAML's folder
  double resolution = 0.05;      //!< metres per pixel, > 0
  cv::Point3d origin{0, 0, 0};   //!< map pose of the image's lower-left corner: x, y (m), yaw (rad)
  bool negate = false;           //!< whether white means occupied
  double occupiedThresh = 0.65;  //!< occupied when p > this
  double freeThresh = 0.196;     //!< free when p < this
  MapMode mode = MapMode::Trinary;
};

/// A map ready for inspection.
struct LoadedMap
{
  MapMetadata meta;  //!< where it came from and how it is placed in the world
  cv::Mat free;      //!< `CV_8UC1`: 255 for a free cell, 0 otherwise
  /// Cells of grey 205 (map savers' unknown) that the thresholds made free.
  int unknownGreyFree = 0;
};

/// How to turn grey levels into free space.
struct FreeSpaceOptions
{
  /// Grey 205 (what map savers write for unknown) never counts as free, even
  /// when a generous free threshold would make it free.
  bool strictUnknown = false;
};

/// A map that cannot be read: missing file, unreadable image, malformed YAML.
class MapLoadError : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

/// Name of a mode as written in the YAML.
const char * mapModeName(MapMode mode);

/// Whether @p path names a YAML map description (by its extension).
bool isYamlPath(const std::string & path);

/**
 * @brief Reads a map description.
 *
 * `image` and `resolution` are required; `origin` defaults to [0, 0, 0],
 * `negate` to 0, `occupied_thresh` to 0.65, `free_thresh` to 0.196 and
 * `mode` to trinary. A relative image path is taken relative to the folder of
 * @p yamlPath.
 * @throws MapLoadError for a missing or unparsable file, a missing required
 *         field, a value of the wrong type or out of range.
 */
MapMetadata readMapYaml(const std::string & yamlPath);

/**
 * @brief Free space of an image as loaded by `cv::imread(..., IMREAD_UNCHANGED)`.
 *
 * The shade of a pixel is the mean of its colour channels over 255 (8-bit or
 * 16-bit, one, three or four channels); p = 1 - shade, or shade when
 * `negate`; the pixel is free when p < free_thresh. With an alpha channel,
 * trinary mode averages the opacity in with the colours and the other modes
 * count any pixel that is not fully opaque as unknown.
 * @throws MapLoadError for an empty image or an unsupported depth or
 *         channel count.
 */
cv::Mat freeSpaceFromImage(
  const cv::Mat & image, const MapMetadata & meta, const FreeSpaceOptions & options);

/// Number of pixels of @p image whose colour mean is grey 205 and which are
/// free in @p free (8-bit or 16-bit images with one, three or four channels).
int countFreeUnknownGrey(const cv::Mat & image, const cv::Mat & free);

/**
 * @brief Loads a map: a YAML description and its image, or a bare image
 *        (read with @p bareImageMeta's resolution, origin and thresholds).
 * @throws MapLoadError when the map cannot be read.
 */
LoadedMap loadMap(
  const std::string & path, const MapMetadata & bareImageMeta, const FreeSpaceOptions & options);

/**
 * @brief World position (metres, map frame) of an image position.
 *
 * Image positions are OpenCV's: x is the column, y the row with row 0 at the
 * top, and integer coordinates are pixel centres. The map frame has y up, the
 * image's bottom-left corner at the origin's x and y, and is turned by the
 * origin's yaw: for yaw 0, x_m = origin_x + (x + 0.5) * resolution and
 * y_m = origin_y + (rows - 0.5 - y) * resolution.
 */
cv::Point2d pixelToWorld(const cv::Point2d & pixel, const MapMetadata & meta, int rows);

/**
 * @brief A direction (an undirected line) of the image, radians from +x
 *        toward +y (y down), as a direction of the map frame (y up, turned by
 *        the origin's yaw), in [0, pi).
 */
double directionToWorld(double imageAngle, const MapMetadata & meta);

}  // namespace tools
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__TOOLS__MAP_IO_HPP_
