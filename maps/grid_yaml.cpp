// OccupancyGrid messages written as YAML: the block style `ros2 topic echo`
// prints and the generated types' flow style, read field by field from the
// parser's events, with a shortcut for the long block list under `data`.

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <istream>
#include <limits>
#include <string>
#include <system_error>
#include <vector>

#include <yaml-cpp/eventhandler.h>
#include <yaml-cpp/yaml.h>

#include "map_workers.hpp"
#include "quorvane_nav2_maps/map.hpp"
#include "utf8.hpp"

namespace quorvane
{
namespace maps
{
namespace
{

using Grid = nav_msgs::msg::OccupancyGrid;

[[noreturn]] void malformedGrid(const YAML::Mark & mark, const std::string & what)
{
  std::string where;
  if (mark.line >= 0) {
    where = "line " + std::to_string(mark.line + 1) + ": ";
  }
  throw MapError("malformed OccupancyGrid YAML: " + where + what);
}

/// @p text as a message quotes it: at most 40 bytes on one line.
std::string shown(const std::string & text)
{
  std::string out = text.substr(0, 40);
  out.resize(detail::validUtf8Prefix(out));  // no character cut in two
  for (char & c : out) {
    if (static_cast<unsigned char>(c) < 0x20) {
      c = ' ';
    }
  }
  return "'" + out + (out.size() < text.size() ? "...'" : "'");
}

/// What a key holds.
enum class Kind { Mapping, Int8List, Int32, UInt32, Float32, Float64, Text };

/// The shape of a value in the text.
enum class Shape { Single, List, Mapping };

Shape shapeOf(Kind kind)
{
  return kind == Kind::Mapping ? Shape::Mapping
                               : (kind == Kind::Int8List ? Shape::List : Shape::Single);
}

const char * shapeName(Shape shape)
{
  return shape == Shape::Mapping ? "a mapping"
                                 : (shape == Shape::List ? "a list" : "a single value");
}

/// A scalar value, parsed as its field's kind asks.
struct Scalar
{
  long long integer = 0;
  double real = 0.0;
  const std::string * text = nullptr;

  std::int32_t i32() const { return static_cast<std::int32_t>(integer); }
  std::uint32_t u32() const { return static_cast<std::uint32_t>(integer); }
  float f32() const { return static_cast<float>(real); }
};

/// One key of the message: its dotted path, what it holds, whether it must be
/// given, and where a scalar value lands.
struct Field
{
  const char * path;
  Kind kind;
  bool required;
  void (*land)(Grid &, const Scalar &);
};

// clang-format off
const Field kFields[] = {
  {"header", Kind::Mapping, false, nullptr},
  {"header.stamp", Kind::Mapping, false, nullptr},
  {"header.stamp.sec", Kind::Int32, false,
   [](Grid & g, const Scalar & v) { g.header.stamp.sec = v.i32(); }},
  {"header.stamp.nanosec", Kind::UInt32, false,
   [](Grid & g, const Scalar & v) { g.header.stamp.nanosec = v.u32(); }},
  {"header.frame_id", Kind::Text, false,
   [](Grid & g, const Scalar & v) { g.header.frame_id = *v.text; }},
  {"info", Kind::Mapping, true, nullptr},
  {"info.map_load_time", Kind::Mapping, false, nullptr},
  {"info.map_load_time.sec", Kind::Int32, false,
   [](Grid & g, const Scalar & v) { g.info.map_load_time.sec = v.i32(); }},
  {"info.map_load_time.nanosec", Kind::UInt32, false,
   [](Grid & g, const Scalar & v) { g.info.map_load_time.nanosec = v.u32(); }},
  {"info.resolution", Kind::Float32, true,
   [](Grid & g, const Scalar & v) { g.info.resolution = v.f32(); }},
  {"info.width", Kind::UInt32, true,
   [](Grid & g, const Scalar & v) { g.info.width = v.u32(); }},
  {"info.height", Kind::UInt32, true,
   [](Grid & g, const Scalar & v) { g.info.height = v.u32(); }},
  {"info.origin", Kind::Mapping, false, nullptr},
  {"info.origin.position", Kind::Mapping, false, nullptr},
  {"info.origin.position.x", Kind::Float64, false,
   [](Grid & g, const Scalar & v) { g.info.origin.position.x = v.real; }},
  {"info.origin.position.y", Kind::Float64, false,
   [](Grid & g, const Scalar & v) { g.info.origin.position.y = v.real; }},
  {"info.origin.position.z", Kind::Float64, false,
   [](Grid & g, const Scalar & v) { g.info.origin.position.z = v.real; }},
  {"info.origin.orientation", Kind::Mapping, false, nullptr},
  {"info.origin.orientation.x", Kind::Float64, false,
   [](Grid & g, const Scalar & v) { g.info.origin.orientation.x = v.real; }},
  {"info.origin.orientation.y", Kind::Float64, false,
   [](Grid & g, const Scalar & v) { g.info.origin.orientation.y = v.real; }},
  {"info.origin.orientation.z", Kind::Float64, false,
   [](Grid & g, const Scalar & v) { g.info.origin.orientation.z = v.real; }},
  {"info.origin.orientation.w", Kind::Float64, false,
   [](Grid & g, const Scalar & v) { g.info.origin.orientation.w = v.real; }},
  {"data", Kind::Int8List, true, nullptr},
};
// clang-format on

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

/// @p text read as @p field's kind.
/// @throws MapError when it is not a value of that kind, or a number that is
///         not finite.
Scalar parseScalar(const YAML::Mark & mark, const Field & field, const std::string & text)
{
  const std::string path = field.path;
  Scalar value;
  value.text = &text;
  switch (field.kind) {
    case Kind::Int32:
      if (
        !parseInteger(text, value.integer) || value.integer < INT32_MIN ||
        value.integer > INT32_MAX) {
        malformedGrid(mark, "'" + path + "' must be an int32, not " + shown(text));
      }
      break;
    case Kind::UInt32:
      if (!parseInteger(text, value.integer) || value.integer < 0 || value.integer > UINT32_MAX) {
        malformedGrid(mark, "'" + path + "' must be a uint32, not " + shown(text));
      }
      break;
    case Kind::Float32:
    case Kind::Float64:
      if (!parseReal(text, value.real)) {
        malformedGrid(mark, "'" + path + "' must be a number, not " + shown(text));
      }
      if (!std::isfinite(value.real)) {
        malformedGrid(mark, "'" + path + "' must be a finite number, not " + shown(text));
      }
      // Checked before the conversion: a double beyond float's range does
      // not convert, and one that rounds to 0 would read as another value.
      if (
        field.kind == Kind::Float32 &&
        (std::fabs(value.real) > std::numeric_limits<float>::max() ||
         (value.real != 0.0 && static_cast<float>(value.real) == 0.0F))) {
        malformedGrid(mark, "'" + path + "' " + shown(text) + " is out of a float32's range");
      }
      break;
    default:
      break;
  }
  return value;
}

/// Builds the message from the parser's events, field by field: no
/// document tree is kept, so a large grid costs one byte per cell.
class GridBuilder : public YAML::EventHandler
{
public:
  explicit GridBuilder(Grid & grid) : grid_(grid) {}

  void OnDocumentStart(const YAML::Mark & mark) override { documentStart_ = mark.pos; }
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
        malformedGrid(mark, "'data' values must be integers in -128..127, not " + shown(value));
      }
      grid_.data.push_back(static_cast<std::int8_t>(v));
      return;
    }
    if (!top.hasKey) {
      top.key = value;
      top.hasKey = true;
      return;
    }
    const Field & field = enter(mark, Shape::Single);
    field.land(grid_, parseScalar(mark, field, value));
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
    const Field & field = enter(mark, Shape::List);
    dataPos_ = mark.pos;
    stack_.push_back({field.path, "", false, true});
  }

  void OnSequenceEnd() override { stack_.pop_back(); }

  void OnMapStart(
    const YAML::Mark & mark, const std::string &, YAML::anchor_t,
    YAML::EmitterStyle::value style) override
  {
    if (stack_.empty()) {
      rootSeen_ = true;
      rootIsBlock_ = style == YAML::EmitterStyle::Block;
      stack_.push_back({"", "", false, false});
      return;
    }
    if (stack_.back().isSequence || !stack_.back().hasKey) {
      malformedGrid(
        mark, stack_.back().isSequence ? "'data' must hold integers" : "a mapping as key");
    }
    const Field & field = enter(mark, Shape::Mapping);
    stack_.push_back({field.path, "", false, false});
  }

  void OnMapEnd() override { stack_.pop_back(); }

  bool rootSeen() const { return rootSeen_; }
  /// Where the document started, -1 before it did.
  int documentStart() const { return documentStart_; }
  /// Whether the top-level mapping is written in block style.
  bool rootIsBlock() const { return rootIsBlock_; }
  /// Where the list under 'data' starts (its '[' or first '-'), -1 if none.
  int dataPos() const { return dataPos_; }
  bool seen(const Field & field) const
  {
    return std::find(seen_.begin(), seen_.end(), &field) != seen_.end();
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

  /// The field whose value starts here as @p shape, marked seen.
  /// @throws MapError for an unknown key, a value of another shape or a key
  ///         given twice.
  const Field & enter(const YAML::Mark & mark, Shape shape)
  {
    const std::string path = valuePath();
    stack_.back().hasKey = false;
    const Field * field = findField(path);
    if (field == nullptr) {
      malformedGrid(mark, "unknown key '" + path + "'");
    }
    if (shapeOf(field->kind) != shape) {
      malformedGrid(mark, "'" + path + "' must not be " + shapeName(shape));
    }
    if (seen(*field)) {
      malformedGrid(mark, "'" + path + "' is given twice");
    }
    seen_.push_back(field);
    return *field;
  }

  Grid & grid_;
  std::vector<Level> stack_;
  std::vector<const Field *> seen_;
  bool rootSeen_ = false;
  bool rootIsBlock_ = false;
  int dataPos_ = -1;
  int documentStart_ = -1;
};

/// The message in @p text, every document of it parsed; the list under
/// 'data' is left out when the text was cut at @p cutAt (cutBlockData()).
/// @throws MapError for anything malformed, and when the text was cut but
///         the parser did not read the top-level key 'data' there.
Grid parseGrid(const std::string & text, std::size_t cutAt)
{
  Grid grid;
  grid.info.origin.orientation.w = 1.0;
  GridBuilder builder(grid);
  detail::InPlaceBuffer buffer(text);
  std::istream in(&buffer);
  try {
    YAML::Parser parser(in);
    parser.HandleNextDocument(builder);
    const std::string extra = detail::extraYamlDocuments(parser, builder.documentStart());
    if (!extra.empty()) {
      throw MapError("malformed OccupancyGrid YAML: " + extra);
    }
  } catch (const YAML::Exception & e) {
    malformedGrid(e.mark, e.msg);
  }
  if (!builder.rootSeen()) {
    malformedGrid(YAML::Mark::null_mark(), "expected a mapping of keys (header, info, data)");
  }
  for (const Field & field : kFields) {
    if (field.required && !builder.seen(field)) {
      malformedGrid(YAML::Mark::null_mark(), std::string("missing '") + field.path + "'");
    }
  }
  if (
    cutAt != std::string::npos && (!builder.rootIsBlock() || builder.dataPos() < 0 ||
                                   static_cast<std::size_t>(builder.dataPos()) != cutAt)) {
    malformedGrid(YAML::Mark::null_mark(), "the block list was not where it seemed");
  }
  return grid;
}

}  // namespace

Grid parseOccupancyGridYaml(const std::string & text)
{
  return detail::parseOccupancyGridYaml(text, true);
}

namespace detail
{

std::size_t cutBlockData(std::string & text, std::vector<std::int8_t> & data)
{
  // "data:" as a top-level key on a line of its own, then one "- <int>" line
  // per value at column 0 (as `ros2 topic echo` prints it).
  std::size_t key = text.rfind("\ndata:\n");
  if (text.compare(0, 6, "data:\n") == 0 && key == std::string::npos) {
    key = 0;
  } else if (key == std::string::npos) {
    return std::string::npos;
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
      return std::string::npos;  // anything unusual: the YAML parser decides
    }
    values.push_back(static_cast<std::int8_t>(v));
    pos = end == std::string::npos ? text.size() : end + 1;
  }
  if (values.empty()) {
    return std::string::npos;
  }
  // The list must close the document: what follows is nothing or a document
  // marker on a line of its own or followed by a space. Anything else could
  // still belong to a construct the list seemed to be part of (a quoted
  // scalar, a flow collection); the parser decides.
  if (pos < text.size()) {
    const bool marker = text.compare(pos, 3, "---") == 0 || text.compare(pos, 3, "...") == 0;
    const char after = pos + 3 < text.size() ? text[pos + 3] : '\n';
    if (!marker || (after != '\n' && after != ' ' && after != '\t' && after != '\r')) {
      return std::string::npos;
    }
  }
  // An empty flow list in its place, with the line breaks kept so that the
  // parser's line numbers still match the text.
  const std::size_t lines = static_cast<std::size_t>(std::count(
    text.begin() + static_cast<std::ptrdiff_t>(first),
    text.begin() + static_cast<std::ptrdiff_t>(pos), '\n'));
  text.replace(key, pos - key, "data: []\n" + std::string(lines, '\n'));
  data = std::move(values);
  return key + 6;
}

nav_msgs::msg::OccupancyGrid parseOccupancyGridYaml(
  const std::string & text, bool fastData, bool * usedShortcut)
{
  if (usedShortcut != nullptr) {
    *usedShortcut = false;
  }
  const std::string problem = yamlTextProblem(text);
  if (!problem.empty()) {
    throw MapError("malformed OccupancyGrid YAML: " + problem);
  }
  if (fastData) {
    // The shortcut's answer is taken only when the parser confirms that the
    // list it cut out was the value of the top-level key 'data' in a block
    // mapping; the parser then reads the same message from the whole text.
    // Otherwise, and for every error, the whole text is parsed as it is, so
    // both ways give the same message or the same error on every input. The
    // parser skips a byte order mark and does not count it in its offsets.
    const std::size_t bom = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    std::string rest = text.substr(bom);
    std::vector<std::int8_t> data;
    const std::size_t cutAt = cutBlockData(rest, data);
    if (cutAt != std::string::npos) {
      try {
        Grid grid = parseGrid(rest, cutAt);
        grid.data = std::move(data);
        if (usedShortcut != nullptr) {
          *usedShortcut = true;
        }
        return grid;
      } catch (const MapError &) {
      }
    }
  }
  return parseGrid(text, std::string::npos);
}

}  // namespace detail

nav_msgs::msg::OccupancyGrid readOccupancyGridYaml(const std::string & path)
{
  const std::string text = detail::readFileBytes(path, "OccupancyGrid file");
  try {
    return parseOccupancyGridYaml(text);
  } catch (const MapError & e) {
    throw MapError(std::string(e.what()) + " in " + path);
  }
}

}  // namespace maps
}  // namespace quorvane
