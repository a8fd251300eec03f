#include "map_io.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include <yaml-cpp/yaml.h>
#include <opencv2/imgcodecs.hpp>

namespace quorvane
{
namespace tools
{
namespace
{

namespace fs = std::filesystem;

/// Grey level map savers write for unknown cells.
constexpr int kUnknownGrey = 205;

[[noreturn]] void malformed(const std::string & yamlPath, const std::string & what)
{
  throw MapLoadError("malformed map YAML " + yamlPath + ": " + what);
}

YAML::Node loadYamlRoot(const std::string & yamlPath)
{
  std::error_code ec;
  if (!fs::is_regular_file(yamlPath, ec)) {
    throw MapLoadError("map file not found: " + yamlPath);
  }
  YAML::Node root;
  try {
    root = YAML::LoadFile(yamlPath);
  } catch (const YAML::ParserException & e) {
    malformed(yamlPath, "line " + std::to_string(e.mark.line + 1) + ": " + e.msg);
  } catch (const YAML::BadFile &) {
    throw MapLoadError("cannot open map file: " + yamlPath);
  }
  if (!root.IsMap()) {
    malformed(yamlPath, "expected a mapping of keys (image, resolution, origin, ...)");
  }
  return root;
}

double readNumber(const YAML::Node & root, const char * key, const std::string & yamlPath)
{
  const YAML::Node node = root[key];
  double value = 0.0;
  if (!node.IsScalar() || !YAML::convert<double>::decode(node, value) || !std::isfinite(value)) {
    malformed(yamlPath, std::string("'") + key + "' must be a finite number");
  }
  return value;
}

double readThreshold(
  const YAML::Node & root, const char * key, double fallback, const std::string & yamlPath)
{
  if (!root[key]) {
    return fallback;
  }
  const double value = readNumber(root, key, yamlPath);
  if (value < 0.0 || value > 1.0) {
    malformed(yamlPath, std::string("'") + key + "' must lie in [0, 1]");
  }
  return value;
}

std::string readImageField(const YAML::Node & root, const std::string & yamlPath)
{
  const YAML::Node node = root["image"];
  if (!node) {
    malformed(yamlPath, "missing 'image'");
  }
  if (!node.IsScalar() || node.Scalar().empty()) {
    malformed(yamlPath, "'image' must be a file name");
  }
  const fs::path image(node.Scalar());
  if (image.is_absolute()) {
    return image.string();
  }
  return (fs::path(yamlPath).parent_path() / image).lexically_normal().string();
}

cv::Point3d readOrigin(const YAML::Node & root, const std::string & yamlPath)
{
  const YAML::Node node = root["origin"];
  if (!node) {
    return {0.0, 0.0, 0.0};
  }
  if (!node.IsSequence() || node.size() < 2 || node.size() > 3) {
    malformed(yamlPath, "'origin' must be [x, y, yaw]");
  }
  double xyz[3] = {0.0, 0.0, 0.0};
  for (std::size_t i = 0; i < node.size(); ++i) {
    if (
      !node[i].IsScalar() || !YAML::convert<double>::decode(node[i], xyz[i]) ||
      !std::isfinite(xyz[i])) {
      malformed(yamlPath, "'origin' must hold finite numbers");
    }
  }
  return {xyz[0], xyz[1], xyz[2]};
}

/// `negate` is written 0/1 by map savers; true/false is accepted too.
bool readNegate(const YAML::Node & root, const std::string & yamlPath)
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
  malformed(yamlPath, "'negate' must be 0 or 1");
}

MapMode readMode(const YAML::Node & root, const std::string & yamlPath)
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
  malformed(yamlPath, "'mode' must be trinary, scale or raw");
}

/// 8-bit copy of a 16-bit image (65535 -> 255).
cv::Mat toEightBit(const cv::Mat & image)
{
  if (image.depth() == CV_8U) {
    return image;
  }
  if (image.depth() != CV_16U) {
    throw MapLoadError("unsupported image depth (need 8 or 16 bits per channel)");
  }
  cv::Mat out;
  image.convertTo(out, CV_8U, 1.0 / 257.0);
  return out;
}

/// Free-or-not for every sum of @p channels 8-bit values:
/// shade = sum / (255 * channels); p = negate ? shade : 1 - shade; free when p < free_thresh.
std::vector<uchar> freeBySum(int channels, const MapMetadata & meta)
{
  const int maxSum = 255 * channels;
  std::vector<uchar> table(static_cast<std::size_t>(maxSum) + 1);
  for (int sum = 0; sum <= maxSum; ++sum) {
    const double shade = static_cast<double>(sum) / static_cast<double>(maxSum);
    const double p = meta.negate ? shade : 1.0 - shade;
    table[static_cast<std::size_t>(sum)] = p < meta.freeThresh ? 255 : 0;
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
  std::vector<uchar> lut;  //!< free-or-not by channel sum
};

uchar freeValue(const uchar * px, const PixelRule & rule)
{
  int colourSum = 0;
  for (int c = 0; c < rule.colours; ++c) {
    colourSum += px[c];
  }
  if (rule.strictUnknown && colourSum == kUnknownGrey * rule.colours) {
    return 0;
  }
  if (!rule.hasAlpha) {
    return rule.lut[static_cast<std::size_t>(colourSum)];
  }
  const int alpha = px[rule.colours];
  if (rule.alphaAveraged) {
    return rule.lut[static_cast<std::size_t>(colourSum) + static_cast<std::size_t>(alpha)];
  }
  return alpha < 255 ? uchar{0} : rule.lut[static_cast<std::size_t>(colourSum)];
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

bool isYamlPath(const std::string & path)
{
  std::string ext = fs::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) {
    return static_cast<char>(std::tolower(c));
  });
  return ext == ".yaml" || ext == ".yml";
}

MapMetadata readMapYaml(const std::string & yamlPath)
{
  const YAML::Node root = loadYamlRoot(yamlPath);
  MapMetadata meta;
  meta.image = readImageField(root, yamlPath);
  if (!root["resolution"]) {
    malformed(yamlPath, "missing 'resolution'");
  }
  meta.resolution = readNumber(root, "resolution", yamlPath);
  if (meta.resolution <= 0.0) {
    malformed(yamlPath, "'resolution' must be positive");
  }
  meta.origin = readOrigin(root, yamlPath);
  meta.negate = readNegate(root, yamlPath);
  meta.occupiedThresh = readThreshold(root, "occupied_thresh", meta.occupiedThresh, yamlPath);
  meta.freeThresh = readThreshold(root, "free_thresh", meta.freeThresh, yamlPath);
  if (meta.freeThresh > meta.occupiedThresh) {
    malformed(yamlPath, "'free_thresh' is greater than 'occupied_thresh'");
  }
  meta.mode = readMode(root, yamlPath);
  return meta;
}

cv::Mat freeSpaceFromImage(
  const cv::Mat & image, const MapMetadata & meta, const FreeSpaceOptions & options)
{
  const int channels = image.channels();
  if (image.empty() || image.dims != 2) {
    throw MapLoadError("the image is empty");
  }
  if (channels != 1 && channels != 3 && channels != 4) {
    throw MapLoadError("unsupported image: " + std::to_string(channels) + " channels");
  }
  const cv::Mat bytes = toEightBit(image);
  PixelRule rule;
  rule.colours = channels == 1 ? 1 : 3;
  rule.hasAlpha = channels == 4;
  rule.alphaAveraged = rule.hasAlpha && meta.mode == MapMode::Trinary;
  rule.strictUnknown = options.strictUnknown;
  rule.lut = freeBySum(rule.alphaAveraged ? 4 : rule.colours, meta);

  cv::Mat free(bytes.size(), CV_8UC1);
  for (int y = 0; y < bytes.rows; ++y) {
    const uchar * in = bytes.ptr<uchar>(y);
    uchar * out = free.ptr<uchar>(y);
    for (int x = 0; x < bytes.cols; ++x) {
      out[x] = freeValue(in + static_cast<std::ptrdiff_t>(x) * channels, rule);
    }
  }
  return free;
}

int countFreeUnknownGrey(const cv::Mat & image, const cv::Mat & free)
{
  CV_CheckEQ(image.size(), free.size(), "image and free space differ in size");
  const cv::Mat bytes = toEightBit(image);
  const int channels = bytes.channels();
  const int colours = channels == 1 ? 1 : 3;
  int count = 0;
  for (int y = 0; y < bytes.rows; ++y) {
    const uchar * in = bytes.ptr<uchar>(y);
    const uchar * out = free.ptr<uchar>(y);
    for (int x = 0; x < bytes.cols; ++x) {
      int sum = 0;
      for (int c = 0; c < colours; ++c) {
        sum += in[static_cast<std::ptrdiff_t>(x) * channels + c];
      }
      count += (out[x] == 255 && sum == kUnknownGrey * colours) ? 1 : 0;
    }
  }
  return count;
}

LoadedMap loadMap(
  const std::string & path, const MapMetadata & bareImageMeta, const FreeSpaceOptions & options)
{
  LoadedMap map;
  if (isYamlPath(path)) {
    map.meta = readMapYaml(path);
  } else {
    map.meta = bareImageMeta;
    map.meta.image = path;
  }
  std::error_code ec;
  if (!fs::is_regular_file(map.meta.image, ec)) {
    throw MapLoadError("image file not found: " + map.meta.image);
  }
  const cv::Mat image = cv::imread(map.meta.image, cv::IMREAD_UNCHANGED);
  if (image.empty()) {
    throw MapLoadError("cannot read image " + map.meta.image + " (not a PGM/PNG image?)");
  }
  try {
    map.free = freeSpaceFromImage(image, map.meta, options);
    map.unknownGreyFree = countFreeUnknownGrey(image, map.free);
  } catch (const MapLoadError & e) {
    throw MapLoadError(std::string(e.what()) + " in " + map.meta.image);
  }
  return map;
}

cv::Point2d pixelToWorld(const cv::Point2d & pixel, const MapMetadata & meta, int rows)
{
  const double right = (pixel.x + 0.5) * meta.resolution;
  const double up = (static_cast<double>(rows) - 0.5 - pixel.y) * meta.resolution;
  const double c = std::cos(meta.origin.z);
  const double s = std::sin(meta.origin.z);
  return {meta.origin.x + c * right - s * up, meta.origin.y + s * right + c * up};
}

double directionToWorld(double imageAngle, const MapMetadata & meta)
{
  // Flipping y turns the angle's sign; the yaw turns the whole image.
  const double angle = std::fmod(meta.origin.z - imageAngle, CV_PI);
  return angle < 0.0 ? angle + CV_PI : angle;
}

}  // namespace tools
}  // namespace quorvane
