#ifndef QUORVANE_NAV2_MAPS__MAP_WORKERS_HPP_
#define QUORVANE_NAV2_MAPS__MAP_WORKERS_HPP_

// Helpers shared by the toolkit's sources; not installed, not exported.

#include <cstddef>
#include <cstdint>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include <yaml-cpp/parser.h>
#include <geometry_msgs/msg/quaternion.hpp>
#include <nav_msgs/msg/occupancy_grid.hpp>
#include <opencv2/core.hpp>

#include "quorvane_nav2_maps/map.hpp"

namespace quorvane
{
namespace maps
{
namespace detail
{

// ---------------------------------------------------------------- frames

/// A frame from its parts.
/// @throws MapError when the resolution is not finite or below kMinResolution,
///         the origin is not finite, or the frame id is not valid UTF-8.
MapFrame checkedFrame(
  double resolution, double originX, double originY, double originYaw, int width, int height,
  const std::string & frameId);

/// The yaw of a quaternion after normalising it.
/// @throws MapError when it is not finite or too short to normalise.
double yawOfQuaternion(const geometry_msgs::msg::Quaternion & q);

/// The quaternion of a pure rotation by @p yaw about z.
geometry_msgs::msg::Quaternion quaternionOfYaw(double yaw);

/// The double written by the shortest decimal that reads back as @p value
/// (0.05f gives 0.05, not 0.0500000007...). Not finite values pass through.
double shortestDecimal(float value);

/// The shortest decimal text that reads back as @p value ("1e-300", "0.05",
/// "nan"), for messages.
std::string numberText(double value);

// ---------------------------------------------------------------- files and text

/// The content of the file at @p path. Only a regular file is opened, and
/// without waiting, so a FIFO or a device never blocks the reader. @p what
/// names the file in messages ("map file", "image file").
/// @throws MapError with one message per cause: "<what> not found: <path>",
///         "<what> is not a regular file (<its kind>): <path>" (a symbolic
///         link loop included), "<what> is unreadable (<reason>): <path>".
std::string readFileBytes(const std::string & path, const char * what);

/// A read-only stream buffer over a string, so that a parser can read a
/// large text in place (std::istringstream would copy it). The string must
/// outlive the buffer.
class InPlaceBuffer : public std::streambuf
{
public:
  explicit InPlaceBuffer(const std::string & text)
  {
    char * begin = const_cast<char *>(text.data());  // never written through
    setg(begin, begin, begin + text.size());
  }
};

/// Why @p text cannot be YAML the readers take: not UTF-8, or holding a
/// control character other than tab, line feed and carriage return (YAML
/// allows none; the parser would drop or misread them). Empty when it can;
/// otherwise "line N: <reason>".
std::string yamlTextProblem(std::string_view text);

/// Reads the rest of @p parser's documents and returns why they cannot be:
/// "line N: more than one document" for any document after the first that
/// is not empty (a trailing "---" opens an empty one), "line N: unexpected
/// text" where the parser no longer reads on (yaml-cpp 0.7 reports empty
/// documents without end on text such as ",x"). Empty when there is one
/// document. @p firstStart is the offset where the first document started
/// when it was read already, -1 when it is among those read here.
/// @throws YAML::Exception for malformed YAML.
std::string extraYamlDocuments(YAML::Parser & parser, int firstStart);

/// The format and size an image file's header declares.
struct ImageHeader
{
  const char * format = nullptr;  //!< "PNG", "PNM", "BMP"; nullptr when not one of them
  std::uint64_t width = 0;
  std::uint64_t height = 0;
};

/// Reads the header of a PNG, PNM (P1..P6) or BMP image as OpenCV's decoders
/// do, bounds-checked; format nullptr for anything else or a malformed header.
ImageHeader readImageHeader(const unsigned char * bytes, std::size_t size);

/// The image in @p bytes (the file @p path) as cv::IMREAD_UNCHANGED decodes
/// it. Its header is read first, so an image of more than @p maxPixels pixels
/// is refused before anything is allocated.
/// @throws MapError "image file cannot be decoded (<reason>): <path>" for a
///         format whose header is not read here or data that do not decode,
///         "image is too large: W x H = N pixels, more than LoadOptions::maxPixels
///         = M in <path>".
cv::Mat decodeMapImage(const std::string & bytes, const std::string & path, std::int64_t maxPixels);

/// readMapServerYaml() on @p text, the content of the file @p path.
MapServerInfo parseMapServerYaml(const std::string & text, const std::string & path);

/// The image of @p info's file read into a map (mapFromImage()).
/// @throws MapError as readFileBytes(), decodeMapImage() and mapFromImage().
Map loadImageFile(const MapServerInfo & info, const LoadOptions & options);

// ---------------------------------------------------------------- grid YAML

/// Takes a top-level block list of integers under "data:" out of @p text
/// (replaced by an empty flow list "data: []" and as many line breaks) into
/// @p data, so the YAML parser does not walk millions of list items. Returns
/// the offset of the '[' it wrote, or std::string::npos leaving both
/// untouched unless every item is a plain integer line in int8 and the list
/// runs to the end of the text or to a document marker. The caller checks
/// that the parser reads the top-level key 'data' there.
std::size_t cutBlockData(std::string & text, std::vector<std::int8_t> & data);

/// parseOccupancyGridYaml(), with the block-list shortcut when @p fastData
/// (without it, every item goes through the YAML parser: the fuzz target
/// checks that both agree on every input). @p usedShortcut, when given, tells
/// whether the shortcut's list was taken.
nav_msgs::msg::OccupancyGrid parseOccupancyGridYaml(
  const std::string & text, bool fastData, bool * usedShortcut = nullptr);

}  // namespace detail
}  // namespace maps
}  // namespace quorvane

#endif  // QUORVANE_NAV2_MAPS__MAP_WORKERS_HPP_
