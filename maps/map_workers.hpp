#ifndef QUORVANE_NAV2_MAPS__MAP_WORKERS_HPP_
#define QUORVANE_NAV2_MAPS__MAP_WORKERS_HPP_

// Helpers shared by the toolkit's sources; not installed, not exported.

#include <cstdint>
#include <string>
#include <vector>

#include <geometry_msgs/msg/quaternion.hpp>
#include <nav_msgs/msg/occupancy_grid.hpp>

#include "quorvane_nav2_maps/map.hpp"

namespace quorvane
{
namespace maps
{
namespace detail
{

/// A frame from its parts.
/// @throws MapError when the resolution is not finite or <= 0, or the origin
///         is not finite.
MapFrame checkedFrame(
  double resolution, double originX, double originY, double originYaw, int width, int height,
  const std::string & frameId);

/// The image of @p info's file read into a map (mapFromImage()).
/// @throws MapError for a missing or unreadable image, and as mapFromImage().
Map loadImageFile(const MapServerInfo & info, const LoadOptions & options);

/// The yaw of a quaternion after normalising it.
/// @throws MapError when it is not finite or too short to normalise.
double yawOfQuaternion(const geometry_msgs::msg::Quaternion & q);

/// The quaternion of a pure rotation by @p yaw about z.
geometry_msgs::msg::Quaternion quaternionOfYaw(double yaw);

/// Takes a top-level block list of integers under "data:" out of @p text
/// (replaced by an empty flow list and as many line breaks) into @p data, so
/// the YAML parser does not walk millions of list items. Returns false and
/// leaves both untouched unless every item is a plain integer line in int8
/// and the list runs to the end of the text or to a document marker.
bool cutBlockData(std::string & text, std::vector<std::int8_t> & data);

/// parseOccupancyGridYaml(), with the block-list shortcut when @p fastData
/// (without it, every item goes through the YAML parser: the fuzz target
/// checks that both agree).
nav_msgs::msg::OccupancyGrid parseOccupancyGridYaml(const std::string & text, bool fastData);

/// The double written by the shortest decimal that reads back as @p value
/// (0.05f gives 0.05, not 0.0500000007...). Not finite values pass through.
double shortestDecimal(float value);

}  // namespace detail
}  // namespace maps
}  // namespace quorvane

#endif  // QUORVANE_NAV2_MAPS__MAP_WORKERS_HPP_
