// nav_msgs/OccupancyGrid <-> Map, and OccupancyGrid messages written as YAML.

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include <yaml-cpp/eventhandler.h>
#include <yaml-cpp/yaml.h>

#include "map_workers.hpp"
#include "quorvane_nav2_maps/map.hpp"

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
    throw MapError("the resolution must be a finite number > 0, not " + std::to_string(resolution));
  }
  if (!std::isfinite(originX) || !std::isfinite(originY) || !std::isfinite(originYaw)) {
    throw MapError("the origin must be finite");
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

}  // namespace detail

namespace
{

constexpr std::int8_t kGridFree = 0;
constexpr std::int8_t kGridOccupied = 100;
constexpr std::int8_t kGridUnknown = -1;

// ---------------------------------------------------------------- YAML reader

[[noreturn]] void malformedGrid(const YAML::Mark & mark, const std::string & what)
{
  std::string where;
  if (mark.line >= 0) {
    where = "line " + std::to_string(mark.line + 1) + ": ";
  }
  throw MapError("malformed OccupancyGrid YAML: " + where + what);
}

bool isMapPath(const std::string & path)
{
  static const char * const kMaps[] = {
    "header",
    "header.stamp",
    "info",
    "info.map_load_time",
    "info.origin",
    "info.origin.position",
    "info.origin.orientation"};
  for (const char * m : kMaps) {
    if (path == m) {
      return true;
    }
  }
  return false;
}

/// The scalar fields, their kinds and where they land.
enum class Kind { Int32, UInt32, Float32, Float64, Text };

struct Field
{
  const char * path;
  Kind kind;
};

const Field kFields[] = {
  {"header.stamp.sec", Kind::Int32},
  {"header.stamp.nanosec", Kind::UInt32},
  {"header.frame_id", Kind::Text},
  {"info.map_load_time.sec", Kind::Int32},
  {"info.map_load_time.nanosec", Kind::UInt32},
  {"info.resolution", Kind::Float32},
  {"info.width", Kind::UInt32},
  {"info.height", Kind::UInt32},
  {"info.origin.position.x", Kind::Float64},
  {"info.origin.position.y", Kind::Float64},
  {"info.origin.position.z", Kind::Float64},
  {"info.origin.orientation.x", Kind::Float64},
  {"info.origin.orientation.y", Kind::Float64},
  {"info.origin.orientation.z", Kind::Float64},
  {"info.origin.orientation.w", Kind::Float64},
};

const Field * findField(const std::string & path)
{
  for (const Field & f : kFields) {
    if (path == f.path) {
      return &f;
    }
  }
  return nullptr;
}

/// An integer written in decimal (an optional sign, digits).
bool parseInteger(const std::string & text, long long & value)
{
  const char * first = text.data();
  const char * last = first + text.size();
  if (first != last && *first == '+') {
    ++first;
  }
  const auto result = std::from_chars(first, last, value);
  return result.ec == std::errc() && result.ptr == last && first != last;
}

/// A YAML number: decimal or exponent notation, or .inf/-.inf/.nan.
bool parseReal(const std::string & text, double & value)
{
  if (text == ".inf" || text == ".Inf" || text == ".INF" || text == "+.inf") {
    value = std::numeric_limits<double>::infinity();
    return true;
  }
  if (text == "-.inf" || text == "-.Inf" || text == "-.INF") {
    value = -std::numeric_limits<double>::infinity();
    return true;
  }
  if (text == ".nan" || text == ".NaN" || text == ".NAN") {
    value = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  const char * first = text.data();
  const char * last = first + text.size();
  if (first != last && *first == '+') {
    ++first;
  }
  if (first == last || *first == 'i' || *first == 'I' || *first == 'n' || *first == 'N') {
    return false;  // from_chars would take "inf"/"nan", YAML does not
  }
  const auto result = std::from_chars(first, last, value);
  return (result.ec == std::errc() || result.ec == std::errc::result_out_of_range) &&
         result.ptr == last;
}

/// Builds the message from the parser's events, field by field: no
/// document tree is kept, so a large grid costs one byte per cell.
class GridBuilder : public YAML::EventHandler
{
public:
  explicit GridBuilder(nav_msgs::msg::OccupancyGrid & grid) : grid_(grid) {}

  void OnDocumentStart(const YAML::Mark &) override {}
  void OnDocumentEnd() override {}

  void OnNull(const YAML::Mark & mark, YAML::anchor_t) override
  {
    if (stack_.empty()) {
      malformedGrid(mark, "expected a mapping of keys (header, info, data)");
    }
    if (stack_.back().isSequence) {
      malformedGrid(mark, "'data' must hold integers");
    }
    if (!stack_.back().hasKey) {
      malformedGrid(mark, "empty key");
    }
    malformedGrid(mark, "'" + valuePath() + "' has no value");
  }

  void OnAlias(const YAML::Mark & mark, YAML::anchor_t) override
  {
    malformedGrid(mark, "aliases are not supported");
  }

  void OnScalar(
    const YAML::Mark & mark, const std::string &, YAML::anchor_t,
    const std::string & value) override
  {
    if (stack_.empty()) {
      malformedGrid(mark, "expected a mapping of keys (header, info, data)");
    }
    Level & top = stack_.back();
    if (top.isSequence) {
      long long v = 0;
      if (!parseInteger(value, v) || v < -128 || v > 127) {
        malformedGrid(mark, "'data' values must be integers in -128..127, not '" + value + "'");
      }
      grid_.data.push_back(static_cast<std::int8_t>(v));
      return;
    }
    if (!top.hasKey) {
      top.key = value;
      top.hasKey = true;
      return;
    }
    const std::string path = valuePath();
    top.hasKey = false;
    const Field * field = findField(path);
    if (field == nullptr) {
      malformedGrid(mark, keyProblem(path, "a single value"));
    }
    markSeen(mark, path);
    store(mark, *field, value);
  }

  void OnSequenceStart(
    const YAML::Mark & mark, const std::string &, YAML::anchor_t,
    YAML::EmitterStyle::value) override
  {
    if (stack_.empty()) {
      malformedGrid(mark, "expected a mapping of keys (header, info, data)");
    }
    if (stack_.back().isSequence) {
      malformedGrid(mark, "'data' must hold integers");
    }
    if (!stack_.back().hasKey) {
      malformedGrid(mark, "a list as key");
    }
    const std::string path = valuePath();
    if (path != "data") {
      malformedGrid(mark, keyProblem(path, "a list"));
    }
    markSeen(mark, path);
    stack_.back().hasKey = false;
    stack_.push_back({path, "", false, true});
  }

  void OnSequenceEnd() override { stack_.pop_back(); }

  void OnMapStart(
    const YAML::Mark & mark, const std::string &, YAML::anchor_t,
    YAML::EmitterStyle::value) override
  {
    if (stack_.empty()) {
      if (rootSeen_) {
        malformedGrid(mark, "more than one message");
      }
      rootSeen_ = true;
      stack_.push_back({"", "", false, false});
      return;
    }
    if (stack_.back().isSequence || !stack_.back().hasKey) {
      malformedGrid(
        mark, stack_.back().isSequence ? "'data' must hold integers" : "a mapping as key");
    }
    const std::string path = valuePath();
    if (!isMapPath(path)) {
      malformedGrid(mark, keyProblem(path, "a mapping"));
    }
    markSeen(mark, path);
    stack_.back().hasKey = false;
    stack_.push_back({path, "", false, false});
  }

  void OnMapEnd() override { stack_.pop_back(); }

  bool rootSeen() const { return rootSeen_; }
  bool seen(const std::string & path) const
  {
    for (const std::string & s : seen_) {
      if (s == path) {
        return true;
      }
    }
    return false;
  }

private:
  struct Level
  {
    std::string path;  //!< dotted path of this mapping or sequence
    std::string key;   //!< key waiting for its value
    bool hasKey;
    bool isSequence;
  };

  std::string valuePath() const
  {
    const Level & top = stack_.back();
    return top.path.empty() ? top.key : top.path + "." + top.key;
  }

  /// Why @p path cannot hold @p what: it is unknown, or of another shape.
  static std::string keyProblem(const std::string & path, const char * what)
  {
    if (findField(path) == nullptr && !isMapPath(path) && path != "data") {
      return "unknown key '" + path + "'";
    }
    return "'" + path + "' must not be " + what;
  }

  void markSeen(const YAML::Mark & mark, const std::string & path)
  {
    if (seen(path)) {
      malformedGrid(mark, "'" + path + "' is given twice");
    }
    seen_.push_back(path);
  }

  void store(const YAML::Mark & mark, const Field & field, const std::string & text)
  {
    const std::string path = field.path;
    long long integer = 0;
    double real = 0.0;
    switch (field.kind) {
      case Kind::Text:
        grid_.header.frame_id = text;
        return;
      case Kind::Int32:
        if (!parseInteger(text, integer) || integer < INT32_MIN || integer > INT32_MAX) {
          malformedGrid(mark, "'" + path + "' must be an int32, not '" + text + "'");
        }
        break;
      case Kind::UInt32:
        if (!parseInteger(text, integer) || integer < 0 || integer > UINT32_MAX) {
          malformedGrid(mark, "'" + path + "' must be a uint32, not '" + text + "'");
        }
        break;
      case Kind::Float32:
      case Kind::Float64:
        if (!parseReal(text, real)) {
          malformedGrid(mark, "'" + path + "' must be a number, not '" + text + "'");
        }
        break;
    }
    auto & info = grid_.info;
    auto & pose = info.origin;
    if (path == "header.stamp.sec") {
      grid_.header.stamp.sec = static_cast<std::int32_t>(integer);
    } else if (path == "header.stamp.nanosec") {
      grid_.header.stamp.nanosec = static_cast<std::uint32_t>(integer);
    } else if (path == "info.map_load_time.sec") {
      info.map_load_time.sec = static_cast<std::int32_t>(integer);
    } else if (path == "info.map_load_time.nanosec") {
      info.map_load_time.nanosec = static_cast<std::uint32_t>(integer);
    } else if (path == "info.resolution") {
      info.resolution = static_cast<float>(real);
    } else if (path == "info.width") {
      info.width = static_cast<std::uint32_t>(integer);
    } else if (path == "info.height") {
      info.height = static_cast<std::uint32_t>(integer);
    } else if (path == "info.origin.position.x") {
      pose.position.x = real;
    } else if (path == "info.origin.position.y") {
      pose.position.y = real;
    } else if (path == "info.origin.position.z") {
      pose.position.z = real;
    } else if (path == "info.origin.orientation.x") {
      pose.orientation.x = real;
    } else if (path == "info.origin.orientation.y") {
      pose.orientation.y = real;
    } else if (path == "info.origin.orientation.z") {
      pose.orientation.z = real;
    } else if (path == "info.origin.orientation.w") {
      pose.orientation.w = real;
    }
  }

  nav_msgs::msg::OccupancyGrid & grid_;
  std::vector<Level> stack_;
  std::vector<std::string> seen_;
  bool rootSeen_ = false;
};

}  // namespace

Map fromOccupancyGrid(const nav_msgs::msg::OccupancyGrid & grid, const GridOptions & options)
{
  if (options.freeMax < 0 || options.freeMax > 100) {
    throw MapError("freeMax must lie in 0..100, not " + std::to_string(options.freeMax));
  }
  const std::uint64_t width = grid.info.width;
  const std::uint64_t height = grid.info.height;
  if (width == 0 || height == 0) {
    throw MapError("the OccupancyGrid has no cells (width or height 0)");
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

nav_msgs::msg::OccupancyGrid parseOccupancyGridYaml(const std::string & text)
{
  return detail::parseOccupancyGridYaml(text, true);
}

namespace detail
{

bool cutBlockData(std::string & text, std::vector<std::int8_t> & data)
{
  // "data:" as a top-level key on a line of its own, then one "- <int>" line
  // per value at column 0 (as `ros2 topic echo` prints it).
  std::size_t key = text.rfind("\ndata:\n");
  if (text.compare(0, 6, "data:\n") == 0 && key == std::string::npos) {
    key = 0;
  } else if (key == std::string::npos) {
    return false;
  } else {
    ++key;
  }
  const std::size_t first = key + 6;
  std::size_t pos = first;
  std::vector<std::int8_t> values;
  while (pos + 1 < text.size() && text[pos] == '-' && text[pos + 1] == ' ') {
    const std::size_t end = text.find('\n', pos);
    const std::size_t stop = end == std::string::npos ? text.size() : end;
    long long v = 0;
    const char * begin = text.data() + pos + 2;
    const auto result = std::from_chars(begin, text.data() + stop, v);
    if (result.ec != std::errc() || result.ptr != text.data() + stop || v < -128 || v > 127) {
      return false;  // anything unusual: the YAML parser decides
    }
    values.push_back(static_cast<std::int8_t>(v));
    pos = end == std::string::npos ? text.size() : end + 1;
  }
  if (values.empty()) {
    return false;
  }
  // The list must close the document: what follows is nothing or a document
  // marker. Anything else could still belong to a construct the list seemed
  // to be part of (a quoted scalar, a flow collection); the parser decides.
  if (pos < text.size() && text.compare(pos, 3, "---") != 0 && text.compare(pos, 3, "...") != 0) {
    return false;
  }
  // An empty flow list in its place, with the line breaks kept so that the
  // parser's line numbers still match the text.
  const std::size_t lines = static_cast<std::size_t>(std::count(
    text.begin() + static_cast<std::ptrdiff_t>(first),
    text.begin() + static_cast<std::ptrdiff_t>(pos), '\n'));
  text.replace(key, pos - key, "data: []\n" + std::string(lines, '\n'));
  data = std::move(values);
  return true;
}

nav_msgs::msg::OccupancyGrid parseOccupancyGridYaml(const std::string & text, bool fastData)
{
  nav_msgs::msg::OccupancyGrid grid;
  grid.info.origin.orientation.w = 1.0;
  std::string rest;
  std::vector<std::int8_t> data;
  const bool cut = fastData && (rest = text, cutBlockData(rest, data));
  GridBuilder builder(grid);
  std::istringstream in(cut ? rest : text);
  try {
    YAML::Parser parser(in);
    parser.HandleNextDocument(builder);
  } catch (const YAML::Exception & e) {
    malformedGrid(e.mark, e.msg);
  }
  if (!builder.rootSeen()) {
    malformedGrid(YAML::Mark::null_mark(), "expected a mapping of keys (header, info, data)");
  }
  for (const char * required : {"info", "info.resolution", "info.width", "info.height", "data"}) {
    if (!builder.seen(required)) {
      malformedGrid(YAML::Mark::null_mark(), std::string("missing '") + required + "'");
    }
  }
  if (cut) {
    grid.data = std::move(data);
  }
  return grid;
}

}  // namespace detail

nav_msgs::msg::OccupancyGrid readOccupancyGridYaml(const std::string & path)
{
  std::error_code ec;
  std::ifstream file;
  if (std::filesystem::is_regular_file(path, ec)) {
    file.open(path, std::ios::binary);
  }
  if (!file) {
    throw MapError("cannot open OccupancyGrid file: " + path);
  }
  std::ostringstream text;
  text << file.rdbuf();
  if (file.bad()) {
    throw MapError("cannot read OccupancyGrid file: " + path);
  }
  try {
    return parseOccupancyGridYaml(text.str());
  } catch (const MapError & e) {
    throw MapError(std::string(e.what()) + " in " + path);
  }
}

}  // namespace maps
}  // namespace quorvane
