// The path types are ROS 2's own generated messages, not look-alikes: the
// field types are the definitions' and the generated helpers exist.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "SimplifyPath.hpp"

// The field types are checked where the compiler sees them.
static_assert(std::is_same_v<decltype(builtin_interfaces::msg::Time::sec), int32_t>);
static_assert(std::is_same_v<decltype(builtin_interfaces::msg::Time::nanosec), uint32_t>);
static_assert(std::is_same_v<decltype(std_msgs::msg::Header::frame_id), std::string>);
static_assert(std::is_same_v<decltype(geometry_msgs::msg::Point::x), double>);
static_assert(std::is_same_v<
              decltype(nav_msgs::msg::Path::poses), std::vector<geometry_msgs::msg::PoseStamped>>);

TEST(RosMessages, GeneratedHelpersWork)
{
  nav_msgs::msg::Path path;
  path.header.frame_id = "map";
  path.header.stamp.sec = 12;
  geometry_msgs::msg::PoseStamped pose;
  pose.pose.position.x = 1.5;
  path.poses.push_back(pose);

  const std::string yaml = nav_msgs::msg::to_yaml(path);
  EXPECT_NE(yaml.find("frame_id: \"map\""), std::string::npos) << yaml;
  EXPECT_NE(yaml.find("sec: 12"), std::string::npos) << yaml;
  EXPECT_NE(yaml.find("w: 1"), std::string::npos) << yaml;

  nav_msgs::msg::Path copy = path;
  EXPECT_EQ(copy, path);
  copy.poses[0].pose.orientation.w = 0.5;
  EXPECT_NE(copy, path);
  EXPECT_EQ(std::string(rosidl_generator_traits::name<nav_msgs::msg::Path>()), "nav_msgs/msg/Path");
}
