// Douglas-Peucker on polylines and path messages, checked against a literal
// recursive version that copies its halves.
#include <gtest/gtest.h>

#include <pthread.h>
#include "expect_cv_error.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "SimplifyPath.hpp"
#include "reference_douglas_peucker.hpp"
#include "simplify.hpp"

namespace
{

using quorvane::test::expectCvError;

using Polyline = std::vector<cv::Point>;
using nav_msgs::msg::Path;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// ------------------------------------------------------------ literal oracle

using quorvane::oracle::referenceDistance;
using quorvane::oracle::referencePath;
using quorvane::oracle::referencePolyline;
using quorvane::oracle::xy;


// ------------------------------------------------------------ generated inputs

enum class Shape {
  RandomWalk,
  Spiral,
  ClosedLoop,
  RepeatedPoints,
  CollinearRuns,
  Sawtooth,
  HugeWalk,
  NearLine
};
const Shape kShapes[] = {Shape::RandomWalk,     Shape::Spiral,        Shape::ClosedLoop,
                         Shape::RepeatedPoints, Shape::CollinearRuns, Shape::Sawtooth,
                         Shape::HugeWalk,       Shape::NearLine};

Polyline generatePolyline(Shape shape, int n, std::mt19937 & rng)
{
  std::uniform_int_distribution<int> step(-3, 3), coin(0, 3);
  Polyline p;
  cv::Point at(0, 0);
  for (int i = 0; i < n; ++i) {
    switch (shape) {
      case Shape::RandomWalk:
        at += cv::Point(step(rng), step(rng));
        break;
      case Shape::Spiral:
        at = cv::Point(
          int(std::lround(i * std::cos(i * 0.4))), int(std::lround(i * std::sin(i * 0.4))));
        break;
      case Shape::ClosedLoop:
        at = i > 0 && i == n - 1 ? p.front()
                                 : cv::Point(
                                     int(std::lround(20 * std::cos(i * 6.28 / n))) + step(rng),
                                     int(std::lround(20 * std::sin(i * 6.28 / n))));
        break;
      case Shape::RepeatedPoints:
        if (coin(rng) == 0) {
          at += cv::Point(step(rng), step(rng));
        }
        break;
      case Shape::CollinearRuns:
        at += (i / 5) % 2 ? cv::Point(0, 1) : cv::Point(2, 0);
        break;
      case Shape::Sawtooth:
        at = cv::Point(2 * i, (i % 2) * 3);
        break;
      case Shape::HugeWalk: {  // steps of up to 3 * 2^24 near the corners of the int range
        const cv::Point base(INT32_MAX - (1 << 29), INT32_MIN + (1 << 29));
        const cv::Point off = i == 0 ? cv::Point(0, 0) : at - base;
        const auto move = [&](int v) {
          return std::clamp(v + step(rng) * (1 << 24), -(1 << 28), 1 << 28);
        };
        at = base + cv::Point(move(off.x), move(off.y));
        break;
      }
      case Shape::NearLine:  // a long straight line with +-1 jitter: many near-ties
        at = cv::Point(1000003 * i, 999983 * i + step(rng) / 2);
        break;
    }
    p.push_back(at);
  }
  return p;
}

Path toPath(const Polyline & points, std::mt19937 & rng)
{
  std::uniform_real_distribution<double> jitter(-0.25, 0.25);
  Path path;
  path.header.frame_id = "input_frame";
  path.header.stamp.sec = 7;
  for (std::size_t i = 0; i < points.size(); ++i) {
    geometry_msgs::msg::PoseStamped pose;
    pose.header.frame_id = "pose_" + std::to_string(i);
    pose.header.stamp.nanosec = uint32_t(i);
    pose.pose.position.x = points[i].x + jitter(rng);
    pose.pose.position.y = points[i].y + jitter(rng);
    pose.pose.position.z = jitter(rng);
    pose.pose.orientation.z = jitter(rng);
    path.poses.push_back(pose);
  }
  return path;
}

const double kEpsilons[] = {0.0, -0.0, 0.5, 1.0, 2.0, 3.0, 10.0, kNaN, kInf};
const double kMinChords[] = {-1.0, -kInf, 0.0, 1.0, 2.5, 5.0, kNaN, kInf};

// Runs fn on a thread whose stack is only 512 KiB.
void runOnSmallStack(const std::function<void()> & fn)
{
  pthread_attr_t attr;
  ASSERT_EQ(pthread_attr_init(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, std::size_t{512} * 1024), 0);
  pthread_t thread;
  auto body = [](void * arg) -> void * {
    (*static_cast<const std::function<void()> *>(arg))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, body, const_cast<std::function<void()> *>(&fn)), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
}

// A square spiral out of the origin: the point before the last always lies
// alone at the greatest distance, so every split peels off one point.
Polyline squareSpiral(int n)
{
  const cv::Point dirs[] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
  Polyline p{{0, 0}};
  for (int i = 1; i < n; ++i) {
    p.push_back(i * dirs[i % 4]);
  }
  return p;
}

Polyline simplify(const Polyline & in, double eps, double minChord)
{
  Polyline out;
  SimplifyPath().douglasPeucker(in, eps, minChord, out);
  return out;
}

Path pathAt(const std::vector<cv::Point2d> & xys)
{
  Path path;
  for (const auto & p : xys) {
    geometry_msgs::msg::PoseStamped pose;
    pose.pose.position.x = p.x;
    pose.pose.position.y = p.y;
    path.poses.push_back(pose);
  }
  return path;
}

std::vector<cv::Point2d> positions(const Path & path)
{
  std::vector<cv::Point2d> out;
  for (const auto & pose : path.poses) {
    out.push_back(xy(pose));
  }
  return out;
}

}  // namespace

// ------------------------------------------------------------ segment distance

TEST(SegmentDistance, MeasuresToTheNearerEndBeyondTheSegment)
{
  using quorvane::simplify::pointSegmentDistance;
  EXPECT_EQ(pointSegmentDistance({-3, 4}, {0, 0}, {10, 0}), 5.0);
  EXPECT_EQ(pointSegmentDistance({13, 4}, {0, 0}, {10, 0}), 5.0);
  EXPECT_EQ(pointSegmentDistance({4, 3}, {0, 0}, {10, 0}), 3.0);
  EXPECT_EQ(pointSegmentDistance({3, 4}, {1, 1}, {1, 1}), std::sqrt(13.0));
}

TEST(SegmentDistance, SegmentWhoseSquaredLengthUnderflowsIsMeasuredToItsStart)
{
  // dx * dx underflows to 0: measured to the start, not through t = 0 / 0.
  const double d = quorvane::simplify::pointSegmentDistance({0, 1e-100}, {0, 0}, {1e-170, 0});
  EXPECT_EQ(d, std::sqrt(1e-100 * 1e-100));
  EXPECT_EQ(d, referenceDistance({0, 1e-100}, {0, 0}, {1e-170, 0}));
}

TEST(SegmentDistance, IsTheLeastOfTheEndDistancesAndThePerpendicular)
{
  // A different construction: the distance to a closed segment is the least
  // of the distances to its ends and, when the foot of the perpendicular lies
  // between them, the perpendicular distance (cross product over length),
  // computed here in long double.
  const unsigned seed = 5u;
  SCOPED_TRACE(seed);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> coord(-1e3, 1e3);
  for (int i = 0; i < 20000; ++i) {
    const cv::Point2d p(coord(rng), coord(rng)), a(coord(rng), coord(rng)),
      b(coord(rng), i % 7 == 0 ? a.y : coord(rng));
    using L = long double;
    const L abx = L(b.x) - a.x, aby = L(b.y) - a.y, apx = L(p.x) - a.x, apy = L(p.y) - a.y;
    const L length = std::sqrt(abx * abx + aby * aby);
    L expected = std::min(std::hypot(apx, apy), std::hypot(L(p.x) - b.x, L(p.y) - b.y));
    const L along = apx * abx + apy * aby;
    if (length > 0 && along > 0 && along < length * length) {
      expected = std::min(expected, std::fabs(abx * apy - aby * apx) / length);
    }
    const double d = quorvane::simplify::pointSegmentDistance(p, a, b);
    ASSERT_NEAR(d, static_cast<double>(expected), 1e-9 * (1.0 + d)) << i;
  }
}

// ------------------------------------------------------------ polyline examples

TEST(SimplifyPolyline, EmptyInputEmptiesTheOutput)
{
  Polyline out{{1, 2}, {3, 4}};
  SimplifyPath().douglasPeucker(Polyline{}, 1.0, 0.0, out);
  EXPECT_TRUE(out.empty());
}

TEST(SimplifyPolyline, SinglePointReplacesTheOutput)
{
  Polyline out{{1, 2}, {3, 4}};
  SimplifyPath().douglasPeucker(Polyline{{5, 6}}, 1.0, 0.0, out);
  EXPECT_EQ(out, (Polyline{{5, 6}}));
}

TEST(SimplifyPolyline, TwoOrMorePointsAppend)
{
  Polyline out{{9, 9}};
  SimplifyPath().douglasPeucker(Polyline{{0, 0}, {4, 0}}, 0.0, 1.0, out);
  EXPECT_EQ(out, (Polyline{{9, 9}, {0, 0}, {4, 0}}));
}

TEST(SimplifyPolyline, SameObjectAsInputAndOutput)
{
  Polyline one{{5, 6}};
  SimplifyPath().douglasPeucker(one, 1.0, 0.0, one);
  EXPECT_EQ(one, (Polyline{{5, 6}}));
  Polyline v{{0, 0}, {5, 1}, {10, 0}};
  v.shrink_to_fit();  // the append must grow the very vector it reads
  SimplifyPath().douglasPeucker(v, 0.5, 0.0, v);
  EXPECT_EQ(v, (Polyline{{0, 0}, {5, 1}, {10, 0}, {0, 0}, {5, 1}, {10, 0}}));
}

TEST(SimplifyPolyline, ClosedPolylineWithChordTestKeepsOnlyItsEnds)
{
  const Polyline loop{{0, 0}, {5, 0}, {5, 5}, {0, 0}};
  EXPECT_EQ(simplify(loop, 1.0, 0.0), (Polyline{{0, 0}, {0, 0}}));
  EXPECT_EQ(simplify(loop, 1.0, -1.0), loop);  // interior measured to (0, 0)
}

struct PolylineCase
{
  const char * name;
  Polyline in;
  double epsilon;
  double minChord;
  Polyline expected;
};

void PrintTo(const PolylineCase & c, std::ostream * os) { *os << c.name; }

class PolylineExamples : public ::testing::TestWithParam<PolylineCase>
{
};

TEST_P(PolylineExamples, GiveTheExpectedResult)
{
  EXPECT_EQ(simplify(GetParam().in, GetParam().epsilon, GetParam().minChord), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
  SimplifyPolyline, PolylineExamples,
  ::testing::Values(
    PolylineCase{"BeyondTheEnd", {{0, 0}, {20, 0}, {10, 0}}, 5, 0, {{0, 0}, {20, 0}, {10, 0}}},
    PolylineCase{"EqualToEpsilonKeeps", {{0, 0}, {5, 1}, {10, 0}}, 1, 0, {{0, 0}, {10, 0}}},
    PolylineCase{"AboveEpsilon", {{0, 0}, {5, 1}, {10, 0}}, 0.5, 0, {{0, 0}, {5, 1}, {10, 0}}},
    PolylineCase{"ChordEqual", {{0, 0}, {0, 4}, {3, 4}}, 1, 5, {{0, 0}, {3, 4}}},
    PolylineCase{"ChordAbove", {{0, 0}, {0, 4}, {3, 4}}, 1, 4.99, {{0, 0}, {0, 4}, {3, 4}}},
    PolylineCase{
      "TieLowestIndex",
      {{0, 0}, {2, 3}, {5, 0}, {8, 3}, {10, 0}},
      1,
      9.9,
      {{0, 0}, {2, 3}, {10, 0}}},
    PolylineCase{"Collinear", {{0, 0}, {1, 0}, {2, 0}, {3, 0}}, 0, 0, {{0, 0}, {3, 0}}},
    PolylineCase{"NaNEpsilon", {{0, 0}, {5, 9}, {10, 0}}, kNaN, -1, {{0, 0}, {10, 0}}},
    PolylineCase{"NaNChordSearches", {{0, 0}, {5, 9}, {5, 0}}, 1, kNaN, {{0, 0}, {5, 9}, {5, 0}}},
    PolylineCase{
      "NegativeZeroEpsilon", {{0, 0}, {1, 0}, {2, 1}}, -0.0, -1, {{0, 0}, {1, 0}, {2, 1}}},
    PolylineCase{
      "HugeCoordinates",
      {{INT32_MIN, INT32_MIN}, {0, 0}, {INT32_MAX, INT32_MAX}},
      1,
      4.0e9,
      {{INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MAX}}}),
  [](const auto & param) { return std::string(param.param.name); });

TEST(SimplifyPolyline, NegativeEpsilonThrowsAndLeavesTheOutput)
{
  for (const Polyline & in : {Polyline{}, Polyline{{1, 1}}, Polyline{{0, 0}, {3, 3}, {6, 0}}}) {
    for (const double eps : {-1e-300, -1.0, -kInf}) {
      Polyline out{{7, 7}};
      expectCvError(
        [&] { SimplifyPath().douglasPeucker(in, eps, 0.0, out); }, cv::Error::StsOutOfRange);
      EXPECT_EQ(out, (Polyline{{7, 7}}));
    }
  }
}

TEST(SimplifyPolyline, MatchesTheLiteralRecursionOnGeneratedPolylines)
{
  const unsigned seed = 20240611u;
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> length(0, 120);
  for (const Shape shape : kShapes) {
    for (int round = 0; round < 12; ++round) {
      const Polyline in = generatePolyline(shape, length(rng), rng);
      for (const double eps : kEpsilons) {
        for (const double chord : kMinChords) {
          SCOPED_TRACE(
            ::testing::Message() << "seed " << seed << " shape " << int(shape) << " round " << round
                                 << " eps " << eps << " minChord " << chord);
          Polyline expected{{-1, -1}}, literal;
          referencePolyline(in, eps, chord, literal);
          if (in.size() < 2) {
            expected.clear();
          }
          expected.insert(expected.end(), literal.begin(), literal.end());
          Polyline out{{-1, -1}};
          SimplifyPath().douglasPeucker(in, eps, chord, out);
          ASSERT_EQ(out, expected);
          Polyline same = in;  // input and output are one object
          SimplifyPath().douglasPeucker(same, eps, chord, same);
          Polyline sameExpected = in;
          if (in.size() >= 2) {
            sameExpected.insert(sameExpected.end(), literal.begin(), literal.end());
          }
          ASSERT_EQ(same, sameExpected);
        }
      }
    }
  }
}

// Families that the worker's tree and estimates must get exactly right:
// combs whose teeth tie or nearly tie (also turned onto lattice directions and
// moved to the corners of the int range), noisy curves, near-lines with
// duplicates, and the shapes above at greater lengths.
enum class Family { Comb, TurnedComb, FarComb, NoisyCurve, Shape };

Polyline generateFamily(Family family, int n, std::mt19937 & rng)
{
  std::uniform_int_distribution<int> small(0, 6), pick(0, int(std::size(kShapes)) - 1);
  const int gap = 1 + small(rng) * 2, drift = small(rng) - 2;
  const auto tooth = [&](int i) {
    return cv::Point(i, (i % 2) * gap + int(std::int64_t(i) * drift / std::max(n, 1)));
  };
  Polyline p;
  if (family == Family::Shape) {
    return generatePolyline(kShapes[pick(rng)], n, rng);
  }
  if (family == Family::NoisyCurve) {
    std::normal_distribution<double> noise(0.0, 1.5);
    const double scale = 1.0 + small(rng);
    for (int i = 0; i < n; ++i) {
      const double s = 0.5 * i;
      p.emplace_back(
        int(std::lround(scale * 30 * std::sin(s / 70) + 0.4 * s + noise(rng))),
        int(std::lround(scale * 40 * std::sin(s / 110) + noise(rng))));
    }
    return p;
  }
  // Lattice turns keep parallel teeth exactly parallel: ties stay ties.
  const cv::Point turns[] = {{1, 0}, {3, 4}, {1, 1}, {2, -1}, {0, 1}, {-5, 12}};
  const cv::Point turn = family == Family::TurnedComb ? turns[small(rng) % 6] : cv::Point(1, 0);
  const int spread = 1 << small(rng);
  for (int i = 0; i < n; ++i) {
    const cv::Point t = tooth(i);
    if (family == Family::FarComb) {  // x falling from INT32_MAX, y just above INT32_MIN
      p.emplace_back(INT32_MAX - t.x * spread, INT32_MIN + 20 * spread + t.y * spread);
    } else {
      p.emplace_back(turn.x * t.x - turn.y * t.y, turn.y * t.x + turn.x * t.y);
    }
  }
  return p;
}

// The worker's ways to find a span's farthest point: the tree of hulls made at
// once, the tree of boxes alone, each for every span longer than 3 points (so
// that short inputs exercise them), and the settings in use.
const quorvane::simplify::TreeUse kTreeUses[] = {{3, 0}, {3, 1u << 20}, {}};

TEST(SimplifyPolyline, MatchesThePlainSchemeOnLongGeneratedInputs)
{
  using quorvane::simplify::keptIndices;
  using quorvane::simplify::polylineArrays;
  const unsigned seed = 9161u;
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> length(3, 900);
  const Family families[] = {
    Family::Comb, Family::TurnedComb, Family::FarComb, Family::NoisyCurve, Family::Shape};
  for (const Family family : families) {
    for (int round = 0; round < 5; ++round) {
      const Polyline in = generateFamily(family, length(rng), rng);
      for (const double eps : {0.0, 2.0, 5.5}) {
        for (const double chord : {-1.0, 2.0}) {
          SCOPED_TRACE(
            ::testing::Message() << "seed " << seed << " family " << int(family) << " round "
                                 << round << " n " << in.size() << " eps " << eps << " minChord "
                                 << chord);
          const auto plain = quorvane::oracle::plainKeptIndices(in, eps, chord);
          for (const auto & use : kTreeUses) {
            ASSERT_EQ(keptIndices(polylineArrays(in), eps, chord, use), plain) << use.scansBefore;
          }
        }
      }
    }
  }
}

TEST(SimplifyPathMessage, MatchesThePlainSchemeOnLongGeneratedPaths)
{
  using quorvane::simplify::keptIndices;
  using quorvane::simplify::poseArrays;
  const unsigned seed = 5003u;
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> length(3, 1200);
  const Family families[] = {Family::Comb, Family::TurnedComb, Family::NoisyCurve, Family::Shape};
  for (const Family family : families) {
    for (int round = 0; round < 3; ++round) {
      Path in = toPath(generateFamily(family, length(rng), rng), rng);
      for (auto & pose : in.poses) {
        auto & at = pose.pose.position;
        // Jittered pixels, whole pixels (ties as in polylines), or metres.
        at.x = round == 1 ? std::round(at.x) : round == 2 ? at.x * 0.05 : at.x;
        at.y = round == 1 ? std::round(at.y) : round == 2 ? at.y * 0.05 : at.y;
      }
      for (const double eps : {0.0, 0.1, 2.5}) {
        SCOPED_TRACE(
          ::testing::Message() << "seed " << seed << " family " << int(family) << " round " << round
                               << " eps " << eps);
        const auto plain = quorvane::oracle::plainKeptIndices(in.poses, eps, kNaN);
        for (const auto & use : kTreeUses) {
          ASSERT_EQ(keptIndices(poseArrays(in.poses), eps, kNaN, use), plain) << use.scansBefore;
        }
      }
    }
  }
}

TEST(SimplifyPolyline, PeelingSplitsRunOnASmallStack)
{
  // 25,000 points split 24,998 times, each time one point before the end; a
  // recursion that deep would overflow the 512 KiB stack.
  const Polyline spiral = squareSpiral(25000);
  Polyline out;
  runOnSmallStack([&] { SimplifyPath().douglasPeucker(spiral, 0.5, -1.0, out); });
  EXPECT_EQ(out, spiral);
}

TEST(SimplifyPolyline, PeelingSpiralMatchesTheLiteralRecursion)
{
  const Polyline spiral = squareSpiral(300);
  for (const Polyline & in : {spiral, Polyline(spiral.rbegin(), spiral.rend())}) {
    for (const double eps : {0.5, 100.0, 250.0}) {
      SCOPED_TRACE(eps);
      Polyline literal;
      referencePolyline(in, eps, -1.0, literal);
      EXPECT_EQ(simplify(in, eps, -1.0), literal);
    }
  }
}

// ------------------------------------------------------------ path examples

TEST(SimplifyPathMessage, FewerThanTwoPosesCopyTheInputWithItsHeader)
{
  Path in = pathAt({{1, 2}});
  in.header.frame_id = "map";
  in.header.stamp.sec = 3;
  Path out = pathAt({{8, 8}, {9, 9}});
  out.header.frame_id = "old";
  SimplifyPath().douglasPeucker(in, 1.0, out);
  EXPECT_EQ(out, in);
  in.poses.clear();
  SimplifyPath().douglasPeucker(in, 1.0, out);
  EXPECT_EQ(out, in);
}

TEST(SimplifyPathMessage, TwoOrMorePosesAppendAndLeaveTheHeader)
{
  Path in = pathAt({{0, 0}, {3, 0}});
  in.header.frame_id = "map";
  Path out = pathAt({{9, 9}});
  out.header.frame_id = "kept";
  SimplifyPath().douglasPeucker(in, 0.0, out);
  EXPECT_EQ(out.header.frame_id, "kept");
  EXPECT_EQ(positions(out), (std::vector<cv::Point2d>{{9, 9}, {0, 0}, {3, 0}}));
  Path fresh;
  SimplifyPath().douglasPeucker(in, 0.0, fresh);
  EXPECT_EQ(fresh.header, std_msgs::msg::Header());
}

TEST(SimplifyPathMessage, SameObjectAsInputAndOutput)
{
  Path one = pathAt({{1, 1}});
  one.header.frame_id = "map";
  const Path oneBefore = one;
  SimplifyPath().douglasPeucker(one, 1.0, one);
  EXPECT_EQ(one, oneBefore);
  std::mt19937 rng(3);
  Path path = toPath({{0, 0}, {5, 1}, {10, 0}}, rng);
  path.poses.shrink_to_fit();
  const Path before = path;
  SimplifyPath().douglasPeucker(path, 0.0, path);
  ASSERT_EQ(path.poses.size(), 6u);
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(path.poses[i], before.poses[i % 3]);
  }
  EXPECT_EQ(path.header, before.header);
}

TEST(SimplifyPathMessage, OnlyXAndYDecideAndPosesTravelWhole)
{
  std::mt19937 rng(11);
  const Polyline shape = generatePolyline(Shape::RandomWalk, 60, rng);
  const Path a = toPath(shape, rng);
  Path b = a;
  for (auto & pose : b.poses) {
    pose.pose.position.z += 100.0;
    pose.pose.orientation.w = -0.5;
    pose.header.frame_id += "_other";
  }
  Path outA, outB;
  SimplifyPath().douglasPeucker(a, 1.0, outA);
  SimplifyPath().douglasPeucker(b, 1.0, outB);
  EXPECT_EQ(positions(outA), positions(outB));
  EXPECT_LT(outA.poses.size(), a.poses.size());
  std::size_t at = 0;  // every kept pose is its input pose, in input order
  for (std::size_t i = 0; i < outB.poses.size(); ++i) {
    while (at < b.poses.size() && !(b.poses[at] == outB.poses[i])) {
      ++at;
    }
    ASSERT_LT(at, b.poses.size()) << i;
  }
}

struct PathCase
{
  const char * name;
  std::vector<cv::Point2d> in;
  double epsilon;
  std::vector<cv::Point2d> expected;
};

void PrintTo(const PathCase & c, std::ostream * os) { *os << c.name; }

class PathExamples : public ::testing::TestWithParam<PathCase>
{
};

TEST_P(PathExamples, GiveTheExpectedResult)
{
  Path out;
  SimplifyPath().douglasPeucker(pathAt(GetParam().in), GetParam().epsilon, out);
  EXPECT_EQ(positions(out), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
  SimplifyPathMessage, PathExamples,
  ::testing::Values(
    PathCase{"ClosedPath", {{0, 0}, {4, 0}, {4, 3}, {0, 0}}, 1, {{0, 0}, {4, 0}, {4, 3}, {0, 0}}},
    PathCase{"BeyondTheEnd", {{0, 0}, {20, 0}, {10, 0}}, 5, {{0, 0}, {20, 0}, {10, 0}}},
    PathCase{"EqualToEpsilonKeeps", {{0, 0}, {5, 1}, {10, 0}}, 1, {{0, 0}, {10, 0}}},
    PathCase{"AboveEpsilon", {{0, 0}, {5, 1}, {10, 0}}, 0.5, {{0, 0}, {5, 1}, {10, 0}}},
    PathCase{
      "TieLowestIndex", {{0, 0}, {2, 3}, {5, 0}, {8, 3}, {10, 0}}, 2.9, {{0, 0}, {2, 3}, {10, 0}}},
    PathCase{"NaNEpsilon", {{0, 0}, {5, 9}, {10, 0}}, kNaN, {{0, 0}, {10, 0}}},
    PathCase{
      "NaNPositionNeverChosen",
      {{0, 0}, {kNaN, 1}, {5, 2}, {10, 0}},
      1,
      {{0, 0}, {5, 2}, {10, 0}}}),
  [](const auto & param) { return std::string(param.param.name); });

TEST(SimplifyPathMessage, NegativeEpsilonThrowsAndLeavesTheOutput)
{
  for (const Path & in : {Path{}, pathAt({{1, 1}}), pathAt({{0, 0}, {3, 3}, {6, 0}})}) {
    Path out = pathAt({{7, 7}});
    out.header.frame_id = "untouched";
    const Path before = out;
    expectCvError([&] { SimplifyPath().douglasPeucker(in, -0.5, out); }, cv::Error::StsOutOfRange);
    EXPECT_EQ(out, before);
  }
}

TEST(SimplifyPathMessage, MatchesTheLiteralRecursionOnGeneratedPaths)
{
  const unsigned seed = 77u;
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> length(0, 80);
  for (const Shape shape : kShapes) {
    for (int round = 0; round < 8; ++round) {
      const Path in = toPath(generatePolyline(shape, length(rng), rng), rng);
      for (const double eps : kEpsilons) {
        SCOPED_TRACE(
          ::testing::Message() << "seed " << seed << " shape " << int(shape) << " round " << round
                               << " eps " << eps);
        Path expected = pathAt({{-1, -1}}), out = expected;
        expected.header.frame_id = out.header.frame_id = "caller";
        referencePath(in, eps, expected);
        SimplifyPath().douglasPeucker(in, eps, out);
        ASSERT_EQ(out, expected);
      }
    }
  }
}

TEST(SimplifyPathMessage, PeelingSplitsRunOnASmallStack)
{
  std::mt19937 rng(1);
  const Path in = toPath(squareSpiral(15000), rng);
  Path out;
  runOnSmallStack([&] { SimplifyPath().douglasPeucker(in, 0.5, out); });
  EXPECT_EQ(out.poses, in.poses);
}
