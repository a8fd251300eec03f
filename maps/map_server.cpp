// map_server YAML descriptions and their images.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <istream>
#include <string>
#include <vector>

#include <yaml-cpp/yaml.h>
#include <opencv2/imgcodecs.hpp>

#include "map_workers.hpp"
#include "quorvane_nav2_maps/map.hpp"

namespace quorvane
{
namespace maps
{
namespace
{

namespace fs = std::filesystem;

/// Grey level map savers write for unknown cells.
constexpr int kUnknownGrey = 205;

[[noreturn]] void malformed(const std::string & path, const std::string & what)
{
  throw MapError("malformed map YAML " + path + ": " + what);
}

/// The top-level mapping of a map_server YAML text.
/// @throws MapError for text that is not UTF-8 or holds control characters,
///         malformed YAML, more than one document, anything but a mapping at
///         the top, and a key that is not a name or is given twice (the node
///         API would silently keep the first).
YAML::Node yamlRoot(const std::string & text, const std::string & path)
{
  const std::string problem = detail::yamlTextProblem(text);
  if (!problem.empty()) {
    malformed(path, problem);
  }
  YAML::Node root;
  try {
    detail::InPlaceBuffer buffer(text);
    std::istream in(&buffer);
    YAML::Parser parser(in);
    const std::string extra = detail::extraYamlDocuments(parser, -1);
    if (!extra.empty()) {
      malformed(path, extra);
    }
    root = YAML::Load(text);
  } catch (const YAML::Exception & e) {
    malformed(path, "line " + std::to_string(e.mark.line + 1) + ": " + e.msg);
  }
  if (!root.IsMap()) {
    malformed(path, "expected a mapping of keys (image, resolution, origin, ...)");
  }
  std::vector<std::string> keys;
  for (auto it = root.begin(); it != root.end(); ++it) {
    if (!it->first.IsScalar()) {
      malformed(path, "keys must be names");
    }
    const std::string & key = it->first.Scalar();
    if (std::find(keys.begin(), keys.end(), key) != keys.end()) {
      malformed(path, "'" + key + "' is given twice");
    }
    keys.push_back(key);
  }
  return root;
}

double readNumber(const YAML::Node & root, const char * key, const std::string & path)
{
  const YAML::Node node = root[key];
  double value = 0.0;
  if (!node.IsScalar() || !YAML::convert<double>::decode(node, value) || !std::isfinite(value)) {
    malformed(path, std::string("'") + key + "' must be a finite number");
  }
  return value;
}

double readThreshold(
  const YAML::Node & root, const char * key, double fallback, const std::string & path)
{
  if (!root[key]) {
    return fallback;
  }
  const double value = readNumber(root, key, path);
  if (value < 0.0 || value > 1.0) {
    malformed(path, std::string("'") + key + "' must lie in [0, 1]");
  }
  return value;
}

std::string readImageField(const YAML::Node & root, const std::string & path)
{
  const YAML::Node node = root["image"];
  if (!node) {
    malformed(path, "missing 'image'");
  }
  if (!node.IsScalar() || node.Scalar().empty()) {
    malformed(path, "'image' must be a file name");
  }
  const fs::path image(node.Scalar());
  if (image.is_absolute()) {
    return image.string();
  }
  return (fs::path(path).parent_path() / image).lexically_normal().string();
}

void readOrigin(const YAML::Node & root, const std::string & path, MapServerInfo & info)
{
  const YAML::Node node = root["origin"];
  if (!node) {
    return;
  }
  if (!node.IsSequence() || node.size() < 2 || node.size() > 3) {
    malformed(path, "'origin' must be [x, y, yaw]");
  }
  double xyz[3] = {0.0, 0.0, 0.0};
  for (std::size_t i = 0; i < node.size(); ++i) {
    if (
      !node[i].IsScalar() || !YAML::convert<double>::decode(node[i], xyz[i]) ||
      !std::isfinite(xyz[i])) {
      malformed(path, "'origin' must hold finite numbers");
    }
  }
  info.originX = xyz[0];
  info.originY = xyz[1];
  info.originYaw = xyz[2];
}

/// `negate` is written 0/1 by map savers; true/false is accepted too.
bool readNegate(const YAML::Node & root, const std::string & path)
{
  const YAML::Node node = root["negate"];
  if (!node) {
    return false;
  }
  int asInt = 0;
  bool asBool = false;
  if (node.IsScalar() && YAML::convert<int>::decode(node, asInt) && (asInt == 0 || asInt == 1)) {
    return asInt == 1;
  }
  if (node.IsScalar() && YAML::convert<bool>::decode(node, asBool)) {
    return asBool;
  }
  malformed(path, "'negate' must be 0 or 1");
}

MapMode readMode(const YAML::Node & root, const std::string & path)
{
  const YAML::Node node = root["mode"];
  if (!node) {
    return MapMode::Trinary;
  }
  const std::string mode = node.IsScalar() ? node.Scalar() : std::string();
  for (MapMode m : {MapMode::Trinary, MapMode::Scale, MapMode::Raw}) {
    if (mode == mapModeName(m)) {
      return m;
    }
  }
  malformed(path, "'mode' must be trinary, scale or raw");
}

/// 8-bit copy of a 16-bit image (65535 -> 255).
cv::Mat toEightBit(const cv::Mat & image)
{
  if (image.depth() == CV_8U) {
    return image;
  }
  if (image.depth() != CV_16U) {
    throw MapError("unsupported image depth (need 8 or 16 bits per channel)");
  }
  cv::Mat out;
  image.convertTo(out, CV_8U, 1.0 / 257.0);
  return out;
}

/// Cell classes by the sum of @p channels 8-bit values:
/// shade = sum / (255 * channels); p = negate ? shade : 1 - shade;
/// free when p < free_thresh, occupied when p > occupied_thresh.
enum Cell : uchar { kFree, kOccupied, kUnknown };

std::vector<uchar> cellBySum(int channels, const MapServerInfo & info)
{
  const int maxSum = 255 * channels;
  std::vector<uchar> table(static_cast<std::size_t>(maxSum) + 1);
  for (int sum = 0; sum <= maxSum; ++sum) {
    const double shade = static_cast<double>(sum) / static_cast<double>(maxSum);
    const double p = info.negate ? shade : 1.0 - shade;
    table[static_cast<std::size_t>(sum)] =
      p < info.freeThresh ? kFree : (p > info.occupiedThresh ? kOccupied : kUnknown);
  }
  return table;
}

/// How the channels of one pixel are combined.
struct PixelRule
{
  int colours;             //!< 1 or 3 colour channels
  bool hasAlpha;           //!< a fourth, alpha channel
  bool alphaAveraged;      //!< trinary: opacity averaged in with the colours
  bool strictUnknown;      //!< colour mean exactly 205 is never free
  std::vector<uchar> lut;  //!< cell class by channel sum
};

uchar cellOf(const uchar * px, const PixelRule & rule, int & colourSum)
{
  colourSum = 0;
  for (int c = 0; c < rule.colours; ++c) {
    colourSum += px[c];
  }
  if (rule.strictUnknown && colourSum == kUnknownGrey * rule.colours) {
    return kUnknown;
  }
  if (!rule.hasAlpha) {
    return rule.lut[static_cast<std::size_t>(colourSum)];
  }
  const int alpha = px[rule.colours];
  if (rule.alphaAveraged) {
    return rule.lut[static_cast<std::size_t>(colourSum) + static_cast<std::size_t>(alpha)];
  }
  return alpha < 255 ? uchar{kUnknown} : rule.lut[static_cast<std::size_t>(colourSum)];
}

void checkMaxPixels(std::int64_t maxPixels)
{
  if (maxPixels < 1) {
    throw MapError("LoadOptions::maxPixels must be positive, not " + std::to_string(maxPixels));
  }
}

}  // namespace

const char * mapModeName(MapMode mode)
{
  switch (mode) {
    case MapMode::Scale:
      return "scale";
    case MapMode::Raw:
      return "raw";
    case MapMode::Trinary:
    default:
      return "trinary";
  }
}

MapServerInfo readMapServerYaml(const std::string & path)
{
  return detail::parseMapServerYaml(detail::readFileBytes(path, "map file"), path);
}

Map mapFromImage(const cv::Mat & image, const MapServerInfo & info, const LoadOptions & options)
{
  checkMaxPixels(options.maxPixels);
  const int channels = image.channels();
  if (image.empty() || image.dims != 2) {
    throw MapError("the image is empty");
  }
  if (channels != 1 && channels != 3 && channels != 4) {
    throw MapError("unsupported image: " + std::to_string(channels) + " channels");
  }
  const std::int64_t pixels = static_cast<std::int64_t>(image.cols) * image.rows;
  if (pixels > options.maxPixels) {
    throw MapError(
      "the image is too large: " + std::to_string(image.cols) + " x " + std::to_string(image.rows) +
      " = " + std::to_string(pixels) +
      " pixels, more than LoadOptions::maxPixels = " + std::to_string(options.maxPixels));
  }
  if (!std::isfinite(info.freeThresh) || !std::isfinite(info.occupiedThresh)) {
    throw MapError(
      "the thresholds must be finite, not free_thresh " + detail::numberText(info.freeThresh) +
      " and occupied_thresh " + detail::numberText(info.occupiedThresh));
  }
  Map map;
  map.frame = detail::checkedFrame(
    info.resolution, info.originX, info.originY, info.originYaw, image.cols, image.rows, "map");
  const cv::Mat bytes = toEightBit(image);
  PixelRule rule;
  rule.colours = channels == 1 ? 1 : 3;
  rule.hasAlpha = channels == 4;
  rule.alphaAveraged = rule.hasAlpha && info.mode == MapMode::Trinary;
  rule.strictUnknown = options.strictUnknown;
  rule.lut = cellBySum(rule.alphaAveraged ? 4 : rule.colours, info);

  map.free.create(bytes.size(), CV_8UC1);
  map.unknown.create(bytes.size(), CV_8UC1);
  map.unknownGreyFree.create(bytes.size(), CV_8UC1);
  for (int y = 0; y < bytes.rows; ++y) {
    const uchar * in = bytes.ptr<uchar>(y);
    uchar * freeRow = map.free.ptr<uchar>(y);
    uchar * unknownRow = map.unknown.ptr<uchar>(y);
    uchar * unknownGreyFreeRow = map.unknownGreyFree.ptr<uchar>(y);
    for (int x = 0; x < bytes.cols; ++x) {
      int colourSum = 0;
      const uchar cell = cellOf(in + static_cast<std::ptrdiff_t>(x) * channels, rule, colourSum);
      freeRow[x] = cell == kFree ? 255 : 0;
      unknownRow[x] = cell == kUnknown ? 255 : 0;
      unknownGreyFreeRow[x] = (cell == kFree && colourSum == kUnknownGrey * rule.colours) ? 255 : 0;
    }
  }
  map.source = MapSource::Image;
  map.mapServer = info;
  return map;
}

Map loadMapServerYaml(const std::string & path, const LoadOptions & options)
{
  checkMaxPixels(options.maxPixels);
  const MapServerInfo info = readMapServerYaml(path);
  Map map = detail::loadImageFile(info, options);
  map.source = MapSource::MapServerYaml;
  return map;
}

namespace detail
{

MapServerInfo parseMapServerYaml(const std::string & text, const std::string & path)
{
  const YAML::Node root = yamlRoot(text, path);
  MapServerInfo info;
  info.image = readImageField(root, path);
  if (!root["resolution"]) {
    malformed(path, "missing 'resolution'");
  }
  info.resolution = readNumber(root, "resolution", path);
  if (info.resolution <= 0.0) {
    malformed(path, "'resolution' must be positive, not " + numberText(info.resolution));
  }
  if (info.resolution < kMinResolution) {
    malformed(
      path, "'resolution' " + numberText(info.resolution) +
              " m is below the smallest the toolkit reads, " + numberText(kMinResolution) + " m");
  }
  readOrigin(root, path, info);
  info.negate = readNegate(root, path);
  info.occupiedThresh = readThreshold(root, "occupied_thresh", info.occupiedThresh, path);
  info.freeThresh = readThreshold(root, "free_thresh", info.freeThresh, path);
  if (info.freeThresh > info.occupiedThresh) {
    malformed(path, "'free_thresh' is greater than 'occupied_thresh'");
  }
  info.mode = readMode(root, path);
  return info;
}

Map loadImageFile(const MapServerInfo & info, const LoadOptions & options)
{
  checkMaxPixels(options.maxPixels);
  const cv::Mat image =
    decodeMapImage(readFileBytes(info.image, "image file"), info.image, options.maxPixels);
  try {
    return mapFromImage(image, info, options);
  } catch (const MapError & e) {
    throw MapError(std::string(e.what()) + " in " + info.image);
  }
}

}  // namespace detail

}  // namespace maps
}  // namespace quorvane
