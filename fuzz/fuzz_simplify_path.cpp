// Fuzz target: SimplifyPath::douglasPeucker on nav_msgs::msg::Path messages
// with arbitrary positions (NaN, infinities, huge), tolerances, stale output
// content, and input and output the same message.
//
// Input layout: epsilon (pickDouble), aliasing flag, stale output poses,
// coordinate mode, pose count, then per pose x, y (and in raw mode z and a
// frame name).
//
// Checked: a negative epsilon throws cv::Exception (StsOutOfRange) with the
// output untouched; below two poses the output equals the input (header
// too); otherwise the output's header is untouched and its poses are the
// stale ones followed by whole copies of exactly the poses the literal
// recursive scheme keeps. Doubles are compared bit for bit.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "SimplifyPath.hpp"
#include "fuzz_input.hpp"
#include "reference_douglas_peucker.hpp"

namespace
{

using quorvane_fuzz::ByteReader;
using quorvane_fuzz::sameBits;
using PoseStamped = geometry_msgs::msg::PoseStamped;
using Path = nav_msgs::msg::Path;

constexpr size_t kMaxPoses = 1500;

bool sameHeader(const std_msgs::msg::Header & a, const std_msgs::msg::Header & b)
{
  return a.stamp.sec == b.stamp.sec && a.stamp.nanosec == b.stamp.nanosec &&
         a.frame_id == b.frame_id;
}

bool samePose(const PoseStamped & a, const PoseStamped & b)
{
  const auto & p = a.pose;
  const auto & q = b.pose;
  return sameHeader(a.header, b.header) && sameBits(p.position.x, q.position.x) &&
         sameBits(p.position.y, q.position.y) && sameBits(p.position.z, q.position.z) &&
         sameBits(p.orientation.x, q.orientation.x) && sameBits(p.orientation.y, q.orientation.y) &&
         sameBits(p.orientation.z, q.orientation.z) && sameBits(p.orientation.w, q.orientation.w);
}

bool samePath(const Path & a, const Path & b)
{
  if (!sameHeader(a.header, b.header) || a.poses.size() != b.poses.size()) {
    return false;
  }
  for (size_t i = 0; i < a.poses.size(); ++i) {
    if (!samePose(a.poses[i], b.poses[i])) {
      return false;
    }
  }
  return true;
}

PoseStamped makePose(double x, double y, double z, const std::string & frame, int32_t sec)
{
  PoseStamped pose;
  pose.header.frame_id = frame;
  pose.header.stamp.sec = sec;
  pose.pose.position.x = x;
  pose.pose.position.y = y;
  pose.pose.position.z = z;
  pose.pose.orientation.z = z * 0.5;
  return pose;
}

Path makePath(ByteReader & in)
{
  Path path;
  path.header.frame_id = "map";
  path.header.stamp.sec = 42;
  const uint8_t mode = in.u8() % 3;
  const size_t n = in.u16() % kMaxPoses;
  for (size_t i = 0; i < n && in.remaining() > 0; ++i) {
    double x = 0.0;
    double y = 0.0;
    if (mode == 0) {  // special and raw doubles
      x = quorvane_fuzz::pickDouble(in);
      y = quorvane_fuzz::pickDouble(in);
    } else if (mode == 1) {  // small grid positions, many ties and repeats
      x = static_cast<int8_t>(in.u8()) * 0.25;
      y = static_cast<int8_t>(in.u8()) * 0.25;
    } else {  // raw bits
      x = in.f64();
      y = in.f64();
    }
    const std::string frame(in.u8() % 3, static_cast<char>('a' + i % 26));
    path.poses.push_back(makePose(x, y, static_cast<double>(i), frame, static_cast<int32_t>(i)));
  }
  return path;
}

Path expected(const Path & input, double epsilon, Path stale)
{
  if (input.poses.size() < 2) {
    return input;
  }
  Path kept;
  quorvane::oracle::referencePath(input, epsilon, kept);
  stale.poses.insert(stale.poses.end(), kept.poses.begin(), kept.poses.end());
  return stale;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * data, size_t size)
{
  ByteReader in(data, size);
  const double epsilon = quorvane_fuzz::pickDouble(in);
  const bool aliased = (in.u8() & 1U) != 0;
  Path stale;
  stale.header.frame_id = "stale";
  stale.header.stamp.nanosec = 7;
  for (int k = in.u8() % 3; k > 0; --k) {
    stale.poses.push_back(makePose(-1.0, -2.0, -3.0, "old", -k));
  }
  const Path input = makePath(in);

  SimplifyPath sp;
  Path io = aliased ? input : stale;
  const Path before = io;
  try {
    if (aliased) {
      sp.douglasPeucker(io, epsilon, io);
    } else {
      sp.douglasPeucker(input, epsilon, io);
    }
  } catch (const cv::Exception & e) {
    FUZZ_CHECK(epsilon < 0.0);
    FUZZ_CHECK(e.code == cv::Error::StsOutOfRange);
    FUZZ_CHECK(samePath(io, before));
    return 0;
  }
  FUZZ_CHECK(!(epsilon < 0.0));
  FUZZ_CHECK(samePath(io, expected(input, epsilon, aliased ? input : stale)));
  return 0;
}
