// Any map file the toolkit reads, recognised by its content.

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <istream>
#include <string>

#include <yaml-cpp/eventhandler.h>
#include <yaml-cpp/yaml.h>

#include "map_workers.hpp"
#include "quorvane_nav2_maps/map.hpp"

namespace quorvane
{
namespace maps
{
namespace
{

namespace fs = std::filesystem;

bool hasYamlExtension(const std::string & path)
{
  std::string ext = fs::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) {
    return static_cast<char>(std::tolower(c));
  });
  return ext == ".yaml" || ext == ".yml";
}

/// Thrown by FirstKey to stop the parser once the answer is known.
struct FirstKeyFound
{
};

/// Records the first key of the top-level mapping and stops there, so that
/// a large grid file is not parsed twice.
class FirstKey : public YAML::EventHandler
{
public:
  void OnDocumentStart(const YAML::Mark &) override {}
  void OnDocumentEnd() override {}
  void OnNull(const YAML::Mark &, YAML::anchor_t) override { stop(); }
  void OnAlias(const YAML::Mark &, YAML::anchor_t) override { stop(); }
  void OnScalar(
    const YAML::Mark &, const std::string &, YAML::anchor_t, const std::string & value) override
  {
    if (depth_ == 1) {
      key = value;
    }
    stop();
  }
  void OnSequenceStart(
    const YAML::Mark &, const std::string &, YAML::anchor_t, YAML::EmitterStyle::value) override
  {
    stop();
  }
  void OnSequenceEnd() override {}
  void OnMapStart(
    const YAML::Mark &, const std::string &, YAML::anchor_t, YAML::EmitterStyle::value) override
  {
    if (++depth_ > 1) {
      stop();
    }
  }
  void OnMapEnd() override {}

  std::string key;

private:
  [[noreturn]] static void stop() { throw FirstKeyFound{}; }
  int depth_ = 0;
};

/// Whether the YAML text holds an OccupancyGrid message: its first top-level
/// key is one of the message's fields. Anything unreadable is left to the
/// map_server reader, which reports it.
bool holdsOccupancyGrid(const std::string & text)
{
  detail::InPlaceBuffer buffer(text);
  std::istream in(&buffer);
  FirstKey handler;
  try {
    YAML::Parser parser(in);
    parser.HandleNextDocument(handler);
  } catch (const FirstKeyFound &) {
  } catch (const YAML::Exception &) {
  }
  return handler.key == "header" || handler.key == "info" || handler.key == "data";
}

}  // namespace

Map loadMap(const std::string & path, const LoadOptions & options, const GridOptions & gridOptions)
{
  if (!hasYamlExtension(path)) {
    MapServerInfo bare;
    bare.image = path;
    bare.resolution = options.bareImageResolution;
    return detail::loadImageFile(bare, options);
  }
  // Read once: the content decides which reader parses it.
  const std::string text = detail::readFileBytes(path, "map file");
  if (holdsOccupancyGrid(text)) {
    try {
      return fromOccupancyGrid(parseOccupancyGridYaml(text), gridOptions);
    } catch (const MapError & e) {
      throw MapError(std::string(e.what()) + " in " + path);
    }
  }
  Map map = detail::loadImageFile(detail::parseMapServerYaml(text, path), options);
  map.source = MapSource::MapServerYaml;
  return map;
}

}  // namespace maps
}  // namespace quorvane
