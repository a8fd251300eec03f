// Reading map_server YAML descriptions and their images into free space and
// unknown cells.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <opencv2/imgcodecs.hpp>

#include "map_workers.hpp"
#include "quorvane_nav2_maps/map.hpp"
#include "scratch_dir.hpp"

namespace
{

using quorvane::maps::LoadOptions;
using quorvane::maps::MapError;
using quorvane::maps::MapMode;
using quorvane::maps::MapServerInfo;
using quorvane::test::ScratchDir;
using namespace std::string_literals;
using namespace std::string_view_literals;

/// Free space of @p image read with @p info.
cv::Mat freeOf(const cv::Mat & image, const MapServerInfo & info)
{
  return quorvane::maps::mapFromImage(image, info).free;
}

/// A bare image read with @p freeThresh.
quorvane::maps::Map loadBare(const std::string & path, double freeThresh, bool strictUnknown)
{
  MapServerInfo info;
  info.image = path;
  info.freeThresh = freeThresh;
  const cv::Mat image = cv::imread(path, cv::IMREAD_UNCHANGED);
  LoadOptions options;
  options.strictUnknown = strictUnknown;
  return quorvane::maps::mapFromImage(image, info, options);
}

/// Writes a one-row grey image holding @p greys and returns its path.
std::string writeGreyRow(const ScratchDir & dir, const std::string & name, std::vector<uchar> greys)
{
  const cv::Mat row(1, static_cast<int>(greys.size()), CV_8UC1, greys.data());
  std::string path = dir.file(name);
  cv::imwrite(path, row);
  return path;
}

/// Whether the loaded free mask is 255 at column @p x of row 0.
bool freeAt(const cv::Mat & free, int x) { return free.at<uchar>(0, x) == 255; }

// ---------------------------------------------------------------- YAML fields

TEST(MapYaml, ReadsEveryField)
{
  ScratchDir dir;
  const std::string yaml = dir.write(
    "m.yaml",
    "image: m.pgm\nresolution: 0.1\norigin: [-1.5, 2.0, 0.25]\nnegate: 1\n"
    "occupied_thresh: 0.7\nfree_thresh: 0.2\nmode: scale\n");
  const MapServerInfo meta = quorvane::maps::readMapServerYaml(yaml);
  EXPECT_EQ(meta.image, dir.file("m.pgm"));
  EXPECT_DOUBLE_EQ(meta.resolution, 0.1);
  EXPECT_DOUBLE_EQ(meta.originX, -1.5);
  EXPECT_DOUBLE_EQ(meta.originY, 2.0);
  EXPECT_DOUBLE_EQ(meta.originYaw, 0.25);
  EXPECT_TRUE(meta.negate);
  EXPECT_DOUBLE_EQ(meta.occupiedThresh, 0.7);
  EXPECT_DOUBLE_EQ(meta.freeThresh, 0.2);
  EXPECT_EQ(meta.mode, MapMode::Scale);
}

TEST(MapYaml, OptionalFieldsTakeMapServerDefaults)
{
  ScratchDir dir;
  const MapServerInfo meta =
    quorvane::maps::readMapServerYaml(dir.write("m.yaml", "image: m.pgm\nresolution: 0.05\n"));
  EXPECT_EQ(cv::Point3d(meta.originX, meta.originY, meta.originYaw), cv::Point3d(0, 0, 0));
  EXPECT_FALSE(meta.negate);
  EXPECT_DOUBLE_EQ(meta.occupiedThresh, 0.65);
  EXPECT_DOUBLE_EQ(meta.freeThresh, 0.196);
  EXPECT_EQ(meta.mode, MapMode::Trinary);
}

TEST(MapYaml, NegateAcceptsBooleanWords)
{
  ScratchDir dir;
  EXPECT_TRUE(quorvane::maps::readMapServerYaml(
                dir.write("a.yaml", "image: a.pgm\nresolution: 1\nnegate: true\n"))
                .negate);
  EXPECT_FALSE(quorvane::maps::readMapServerYaml(
                 dir.write("b.yaml", "image: b.pgm\nresolution: 1\nnegate: 0\n"))
                 .negate);
}

TEST(MapYaml, RelativeImagePathIsTakenFromTheYamlFolder)
{
  ScratchDir dir;
  writeGreyRow(dir, "images/m.png", {255, 0});
  const std::string yaml = dir.write("maps/m.yaml", "image: ../images/m.png\nresolution: 0.05\n");
  const auto map = quorvane::maps::loadMap(yaml);
  EXPECT_EQ(map.mapServer.image, (dir.path() / "images" / "m.png").string());
  ASSERT_EQ(map.free.size(), cv::Size(2, 1));
  EXPECT_TRUE(freeAt(map.free, 0));
  EXPECT_FALSE(freeAt(map.free, 1));
}

TEST(MapYaml, AbsoluteImagePathIsKept)
{
  ScratchDir dir;
  const std::string image = writeGreyRow(dir, "elsewhere/m.png", {255});
  const std::string yaml = dir.write("maps/m.yaml", "image: " + image + "\nresolution: 0.05\n");
  EXPECT_EQ(quorvane::maps::readMapServerYaml(yaml).image, image);
}

/// A malformed description and a word its error message must contain.
struct MalformedCase
{
  const char * name;
  std::string_view yaml;  // may hold NUL bytes
  const char * expected;
};

void PrintTo(const MalformedCase & c, std::ostream * os) { *os << c.name; }

class MalformedYaml : public ::testing::TestWithParam<MalformedCase>
{
};

TEST_P(MalformedYaml, IsRejectedWithItsReason)
{
  ScratchDir dir;
  const std::string yaml = dir.write("m.yaml", std::string(GetParam().yaml));
  try {
    quorvane::maps::readMapServerYaml(yaml);
    FAIL() << "accepted";
  } catch (const MapError & e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("malformed map YAML"), std::string::npos) << message;
    EXPECT_NE(message.find(GetParam().expected), std::string::npos) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
  }
}

INSTANTIATE_TEST_SUITE_P(
  Cases, MalformedYaml,
  ::testing::Values(
    MalformedCase{"SyntaxError", "image: [m.pgm\nresolution: 0.05\n", "line"},
    MalformedCase{"NotAMapping", "- image\n- resolution\n", "mapping"},
    MalformedCase{"EmptyFile", "", "mapping"},
    MalformedCase{"MissingImage", "resolution: 0.05\n", "missing 'image'"},
    MalformedCase{"ImageIsAList", "image: [a, b]\nresolution: 0.05\n", "'image'"},
    MalformedCase{"MissingResolution", "image: m.pgm\n", "missing 'resolution'"},
    MalformedCase{"ResolutionNotANumber", "image: m.pgm\nresolution: fine\n", "'resolution'"},
    MalformedCase{"ResolutionZero", "image: m.pgm\nresolution: 0\n", "positive"},
    MalformedCase{"OriginTooShort", "image: m.pgm\nresolution: 1\norigin: [1]\n", "'origin'"},
    MalformedCase{
      "OriginNotNumbers", "image: m.pgm\nresolution: 1\norigin: [a, b, c]\n", "'origin'"},
    MalformedCase{"NegateTwo", "image: m.pgm\nresolution: 1\nnegate: 2\n", "'negate'"},
    MalformedCase{"ThresholdAboveOne", "image: m.pgm\nresolution: 1\nfree_thresh: 1.5\n", "[0, 1]"},
    MalformedCase{
      "FreeAboveOccupied", "image: m.pgm\nresolution: 1\nfree_thresh: 0.7\noccupied_thresh: 0.6\n",
      "greater"},
    MalformedCase{"UnknownMode", "image: m.pgm\nresolution: 1\nmode: fancy\n", "'mode'"},
    MalformedCase{
      "ResolutionBelowMinimum", "image: m.pgm\nresolution: 1e-300\n",
      "'resolution' 1e-300 m is below the smallest the toolkit reads, 1e-06 m"},
    MalformedCase{
      "ResolutionNaN", "image: m.pgm\nresolution: .nan\n", "'resolution' must be a finite"},
    MalformedCase{
      "OriginInfinite", "image: m.pgm\nresolution: 1\norigin: [.inf, 0, 0]\n",
      "'origin' must hold finite numbers"},
    MalformedCase{
      "ThresholdNaN", "image: m.pgm\nresolution: 1\nfree_thresh: .nan\n",
      "'free_thresh' must be a finite"},
    MalformedCase{
      "DuplicateKey", "image: m.pgm\nresolution: 0.05\nresolution: 0.1\n",
      "'resolution' is given twice"},
    MalformedCase{
      "TwoDocuments", "image: a.pgm\nresolution: 1\n---\nimage: b.pgm\nresolution: 2\n",
      "more than one document"},
    MalformedCase{
      "NulByte", "image: m.pgm\0.png\nresolution: 1\n"sv, "line 1: control character 0x00"},
    MalformedCase{"NotUtf8", "resolution: 1\nimage: caf\xE9.pgm\n", "line 2: not UTF-8"},
    MalformedCase{"LeadingComma", ",pgm\n\n2=5\n", "line 1: unexpected text"}),
  [](const ::testing::TestParamInfo<MalformedCase> & param) { return param.param.name; });

TEST(MapYaml, ByteOrderMarkCrlfAndATrailingMarkerAreFine)
{
  ScratchDir dir;
  const MapServerInfo meta = quorvane::maps::readMapServerYaml(
    dir.write("m.yaml", "\xEF\xBB\xBFimage: m.pgm\r\nresolution: 0.1\r\n---\r\n"));
  EXPECT_EQ(meta.image, dir.file("m.pgm"));
  EXPECT_DOUBLE_EQ(meta.resolution, 0.1);
}

// ---------------------------------------------------------------- files

/// The MapError message of @p read, or "" when it throws none. With
/// @p asNobody, it runs in a child process without root's powers (root reads
/// any file whatever its permissions).
std::string errorOf(const std::function<void()> & read, bool asNobody = false)
{
  const auto run = [&]() -> std::string {
    try {
      read();
    } catch (const MapError & e) {
      return e.what();
    }
    return "";
  };
  if (!asNobody || ::geteuid() != 0) {
    return run();
  }
  int fds[2];
  if (::pipe(fds) != 0) {
    return "pipe failed";
  }
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
    const std::string message = dropped ? run() : "cannot drop root";
    const ssize_t written = ::write(fds[1], message.data(), message.size());
    ::_exit(written == static_cast<ssize_t>(message.size()) ? 0 : 1);
  }
  ::close(fds[1]);
  std::string message;
  char buffer[256];
  for (ssize_t got; (got = ::read(fds[0], buffer, sizeof(buffer))) > 0;) {
    message.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return message;
}

/// A file that cannot be read for one reason, and the reason's words.
struct FileCase
{
  const char * name;
  std::function<std::string(const ScratchDir &)> make;  // returns the path
  const char * cause;                                   // after "<what> "
};

void PrintTo(const FileCase & c, std::ostream * os) { *os << c.name; }

class UnreadableFile : public ::testing::TestWithParam<FileCase>
{
};

TEST_P(UnreadableFile, IsReportedWithItsCauseByEveryReader)
{
  ScratchDir dir;
  const std::string path = GetParam().make(dir);
  const std::string cause = GetParam().cause;
  const bool asNobody = std::string(GetParam().name) == "NoPermission";
  const std::string yaml = dir.write("describe.yaml", "image: " + path + "\nresolution: 1\n");
  const std::pair<std::string, std::function<void()>> readers[] = {
    {"map file ", [&] { quorvane::maps::readMapServerYaml(path); }},
    {"OccupancyGrid file ", [&] { quorvane::maps::readOccupancyGridYaml(path); }},
    {"image file ", [&] { quorvane::maps::loadMap(yaml); }},
  };
  for (const auto & [what, read] : readers) {
    const std::string message = errorOf(read, asNobody);
    EXPECT_EQ(message, what + cause + path) << message;
  }
}

INSTANTIATE_TEST_SUITE_P(
  Causes, UnreadableFile,
  ::testing::Values(
    FileCase{"Missing", [](const ScratchDir & d) { return d.file("gone.yaml"); }, "not found: "},
    FileCase{
      "MissingFolder", [](const ScratchDir & d) { return d.write("f", "") + "/m.yaml"; },
      "not found: "},
    FileCase{
      "Directory",
      [](const ScratchDir & d) {
        std::filesystem::create_directories(d.path() / "m.yaml");
        return (d.path() / "m.yaml").string();
      },
      "is not a regular file (a directory): "},
    FileCase{
      "Fifo",
      [](const ScratchDir & d) {
        const std::string p = d.file("m.yaml");
        ::mkfifo(p.c_str(), 0644);
        return p;
      },
      "is not a regular file (a FIFO): "},
    FileCase{
      "CharacterDevice", [](const ScratchDir &) { return std::string("/dev/zero"); },
      "is not a regular file (a character device): "},
    FileCase{
      "SymbolicLinkLoop",
      [](const ScratchDir & d) {
        std::filesystem::create_symlink(d.path() / "b.yaml", d.path() / "a.yaml");
        std::filesystem::create_symlink(d.path() / "a.yaml", d.path() / "b.yaml");
        return (d.path() / "a.yaml").string();
      },
      "is not a regular file (a symbolic link loop): "},
    FileCase{
      "NoPermission",
      [](const ScratchDir & d) {
        const std::string p = d.write("locked.yaml", "image: m.pgm\nresolution: 1\n");
        ::chmod(p.c_str(), 0);
        return p;
      },
      "is unreadable (permission denied): "}),
  [](const ::testing::TestParamInfo<FileCase> & param) { return param.param.name; });

// ---------------------------------------------------------------- images

/// The first 24 bytes of a PNG file of @p width x @p height: its signature
/// and the start of its IHDR chunk, without any pixel data.
std::string pngHeader(std::uint32_t width, std::uint32_t height)
{
  std::string out = "\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR"s;
  for (std::uint32_t v : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8) {
      out += static_cast<char>((v >> shift) & 0xFF);
    }
  }
  return out;
}

/// A BMP file's headers for @p width x @p height (negative: top-down).
std::string bmpHeader(std::int32_t width, std::int32_t height)
{
  std::string out = "BM"s + std::string(12, '\0');
  for (std::int32_t v : {40, width, height}) {
    for (int shift = 0; shift < 32; shift += 8) {
      out += static_cast<char>((static_cast<std::uint32_t>(v) >> shift) & 0xFF);
    }
  }
  return out + std::string(28, '\0');
}

/// An image file that is refused, and the start of the message.
struct BadImageCase
{
  const char * name;
  std::function<std::string(const ScratchDir &)> make;  // returns the path
  const char * expected;
};

void PrintTo(const BadImageCase & c, std::ostream * os) { *os << c.name; }

class BadImageFile : public ::testing::TestWithParam<BadImageCase>
{
};

TEST_P(BadImageFile, IsRefusedBeforeDecoding)
{
  ScratchDir dir;
  const std::string path = GetParam().make(dir);
  const std::string message = errorOf([&] { quorvane::maps::loadMap(path); });
  EXPECT_EQ(message.rfind(GetParam().expected, 0), 0u) << message;
  EXPECT_EQ(message.substr(message.size() - path.size()), path) << message;
}

INSTANTIATE_TEST_SUITE_P(
  Cases, BadImageFile,
  ::testing::Values(
    BadImageCase{
      "NotAnImage", [](const ScratchDir & d) { return d.write("m.png", "this is not a picture"); },
      "image file cannot be decoded (not a PNG, PGM/PPM/PBM or BMP image): "},
    BadImageCase{
      "Jpeg",
      [](const ScratchDir & d) {
        const std::string p = d.file("m.jpg");
        cv::imwrite(p, cv::Mat(4, 4, CV_8UC1, cv::Scalar(255)));
        return p;
      },
      "image file cannot be decoded (not a PNG, PGM/PPM/PBM or BMP image): "},
    BadImageCase{
      "TruncatedPng", [](const ScratchDir & d) { return d.write("m.png", pngHeader(2, 2)); },
      "image file cannot be decoded (corrupt or truncated PNG data): "},
    BadImageCase{
      "PgmOfWidthZero", [](const ScratchDir & d) { return d.write("m.pgm", "P5\n0 2\n255\n"); },
      "image file cannot be decoded (malformed PNM header): "},
    BadImageCase{
      "PngClaims60000Squared",
      [](const ScratchDir & d) { return d.write("m.png", pngHeader(60000, 60000)); },
      "image file is too large: 60000 x 60000 = 3600000000 pixels, more than "
      "LoadOptions::maxPixels = 268435456: "},
    BadImageCase{
      "PgmClaims60000Squared",
      [](const ScratchDir & d) { return d.write("m.pgm", "P5\n# big\n60000 60000\n255\n"); },
      "image file is too large: 60000 x 60000 = 3600000000 pixels"},
    BadImageCase{
      "BmpClaims60000Squared",
      [](const ScratchDir & d) { return d.write("m.bmp", bmpHeader(60000, -60000)); },
      "image file is too large: 60000 x 60000 = 3600000000 pixels"}),
  [](const ::testing::TestParamInfo<BadImageCase> & param) { return param.param.name; });

TEST(MapImage, PixelBudgetIsCheckedFromTheHeader)
{
  ScratchDir dir;
  for (const char * name : {"m.png", "m.pgm", "m.bmp"}) {
    const std::string path = dir.file(name);
    cv::imwrite(path, cv::Mat(10, 10, CV_8UC1, cv::Scalar(255)));
    LoadOptions options;
    options.maxPixels = 100;
    EXPECT_EQ(quorvane::maps::loadMap(path, options).free.size(), cv::Size(10, 10)) << name;
    options.maxPixels = 99;
    EXPECT_EQ(
      errorOf([&] { quorvane::maps::loadMap(path, options); }),
      "image file is too large: 10 x 10 = 100 pixels, more than LoadOptions::maxPixels = 99: " +
        path);
  }
}

TEST(MapImage, HeaderSizeIsTheDecodedSize)
{
  // OpenCV's decoders are the reference for the header reader.
  ScratchDir dir;
  int round = 0;
  for (const char * extension : {".png", ".pgm", ".ppm", ".pbm", ".bmp"}) {
    for (const cv::Size size : {cv::Size(1, 1), cv::Size(7, 3), cv::Size(2, 300)}) {
      const std::string path = dir.file(std::to_string(round++) + extension);
      const bool grey = std::string(extension) == ".pgm" || std::string(extension) == ".pbm";
      ASSERT_TRUE(
        cv::imwrite(path, cv::Mat(size, grey ? CV_8UC1 : CV_8UC3, cv::Scalar(0, 128, 255))));
      const std::string bytes = quorvane::maps::detail::readFileBytes(path, "image file");
      const auto header = quorvane::maps::detail::readImageHeader(
        reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
      ASSERT_NE(header.format, nullptr) << path;
      const cv::Mat decoded = cv::imread(path, cv::IMREAD_UNCHANGED);
      EXPECT_EQ(header.width, static_cast<std::uint64_t>(decoded.cols)) << path;
      EXPECT_EQ(header.height, static_cast<std::uint64_t>(decoded.rows)) << path;
    }
  }
  // PNM headers with comments and blank space: the byte after a number is
  // consumed, so "3#2" is 3 then 2, not 3 and a comment.
  for (const std::string pnm :
       {"P5 #a\n3\n\r 2 #c\n255\n", "P5\n3#2\n 1\n255\n", "P5\n3 2#\n#\n255\n"}) {
    const std::string bytes = pnm + std::string(12, '\x01');
    const auto header = quorvane::maps::detail::readImageHeader(
      reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
    const cv::Mat raw(1, static_cast<int>(bytes.size()), CV_8UC1, const_cast<char *>(bytes.data()));
    const cv::Mat decoded = cv::imdecode(raw, cv::IMREAD_UNCHANGED);
    ASSERT_FALSE(decoded.empty()) << pnm;
    EXPECT_EQ(header.width, static_cast<std::uint64_t>(decoded.cols)) << pnm;
    EXPECT_EQ(header.height, static_cast<std::uint64_t>(decoded.rows)) << pnm;
  }
}

TEST(MapImage, BareImageUsesTheGivenDescription)
{
  ScratchDir dir;
  const std::string image = writeGreyRow(dir, "m.pgm", {254, 205, 0});
  LoadOptions options;
  options.bareImageResolution = 0.2;
  const auto map = quorvane::maps::loadMap(image, options);
  EXPECT_EQ(map.mapServer.image, image);
  EXPECT_EQ(map.source, quorvane::maps::MapSource::Image);
  EXPECT_DOUBLE_EQ(map.frame.resolution, 0.2);
  EXPECT_EQ(map.frame.frameId, "map");
  EXPECT_TRUE(freeAt(map.free, 0));
  EXPECT_FALSE(freeAt(map.free, 1));
  EXPECT_FALSE(freeAt(map.free, 2));
}

// ---------------------------------------------------------------- thresholds

/// A grey level, the thresholds and negate, and whether the cell is free.
struct ThresholdCase
{
  int grey;
  double freeThresh;
  bool negate;
  bool free;
};

void PrintTo(const ThresholdCase & c, std::ostream * os)
{
  *os << "grey " << c.grey << ", free_thresh " << c.freeThresh << (c.negate ? ", negate" : "");
}

class Threshold : public ::testing::TestWithParam<ThresholdCase>
{
};

TEST_P(Threshold, DecidesFreeLikeMapServer)
{
  const ThresholdCase c = GetParam();
  MapServerInfo meta;
  meta.freeThresh = c.freeThresh;
  meta.negate = c.negate;
  const cv::Mat image(1, 1, CV_8UC1, cv::Scalar(c.grey));
  const cv::Mat free = freeOf(image, meta);
  EXPECT_EQ(free.at<uchar>(0, 0) == 255, c.free) << "grey " << c.grey;
}

INSTANTIATE_TEST_SUITE_P(
  Table, Threshold,
  ::testing::Values(
    // p = (255 - grey) / 255 < 0.196: grey 206 and above is free, 205 (p 0.19608) is not.
    ThresholdCase{255, 0.196, false, true}, ThresholdCase{254, 0.196, false, true},
    ThresholdCase{206, 0.196, false, true}, ThresholdCase{205, 0.196, false, false},
    ThresholdCase{128, 0.196, false, false}, ThresholdCase{0, 0.196, false, false},
    // negate: p = grey / 255 < 0.196: grey 49 and below is free.
    ThresholdCase{0, 0.196, true, true}, ThresholdCase{49, 0.196, true, true},
    ThresholdCase{50, 0.196, true, false}, ThresholdCase{255, 0.196, true, false},
    // A generous threshold makes map savers' unknown grey 205 free (p 0.196 < 0.25).
    ThresholdCase{205, 0.25, false, true}, ThresholdCase{192, 0.25, false, true},
    ThresholdCase{191, 0.25, false, false},
    // Threshold 0: nothing is free.
    ThresholdCase{255, 0.0, false, false}),
  [](const ::testing::TestParamInfo<ThresholdCase> & param) {
    const ThresholdCase & c = param.param;
    return "Grey" + std::to_string(c.grey) + "Thresh" +
           std::to_string(static_cast<int>(c.freeThresh * 1000)) + (c.negate ? "Negated" : "");
  });

TEST(MapImage, UnknownLiesBetweenTheThresholds)
{
  // p = (255 - grey) / 255: 0 -> 1 occupied, 128 -> 0.498 unknown,
  // 90 -> 0.647 unknown, 89 -> 0.651 occupied, 255 -> 0 free.
  std::vector<uchar> greys{0, 128, 90, 89, 255};
  const cv::Mat image(1, 5, CV_8UC1, greys.data());
  const auto map = quorvane::maps::mapFromImage(image, MapServerInfo{});
  const cv::Mat expectedUnknown = (cv::Mat_<uchar>(1, 5) << 0, 255, 255, 0, 0);
  const cv::Mat expectedFree = (cv::Mat_<uchar>(1, 5) << 0, 0, 0, 0, 255);
  EXPECT_EQ(cv::norm(map.unknown, expectedUnknown, cv::NORM_INF), 0.0);
  EXPECT_EQ(cv::norm(map.free, expectedFree, cv::NORM_INF), 0.0);
}

TEST(MapImage, StrictUnknownKeepsGrey205Blocked)
{
  MapServerInfo meta;
  meta.freeThresh = 0.25;
  std::vector<uchar> greys{205, 206, 204};
  const cv::Mat image(1, 3, CV_8UC1, greys.data());
  LoadOptions strict;
  strict.strictUnknown = true;
  const auto map = quorvane::maps::mapFromImage(image, meta, strict);
  EXPECT_FALSE(freeAt(map.free, 0));
  EXPECT_TRUE(freeAt(map.free, 1));
  EXPECT_TRUE(freeAt(map.free, 2));
  EXPECT_EQ(map.unknown.at<uchar>(0, 0), 255);
}

TEST(MapImage, CountsUnknownGreyMadeFreeByAGenerousThreshold)
{
  ScratchDir dir;
  const std::string image = writeGreyRow(dir, "m.pgm", {205, 205, 254, 0});
  EXPECT_EQ(cv::countNonZero(loadBare(image, 0.25, false).unknownGreyFree), 2);
  EXPECT_EQ(cv::countNonZero(loadBare(image, 0.25, true).unknownGreyFree), 0);
  EXPECT_EQ(cv::countNonZero(loadBare(image, 0.196, false).unknownGreyFree), 0);
}

TEST(MapImage, ColourImageUsesTheMeanOfItsChannels)
{
  MapServerInfo meta;
  // Means 255, 206 and 205: free, free, blocked.
  const cv::Mat image =
    (cv::Mat_<cv::Vec3b>(1, 3) << cv::Vec3b(255, 255, 255), cv::Vec3b(255, 200, 163),
     cv::Vec3b(205, 205, 205));
  const cv::Mat free = freeOf(image, meta);
  EXPECT_TRUE(freeAt(free, 0));
  EXPECT_TRUE(freeAt(free, 1));
  EXPECT_FALSE(freeAt(free, 2));
}

TEST(MapImage, TrinaryAveragesOpacityInAndScaleTreatsTranslucentAsUnknown)
{
  MapServerInfo meta;
  // White at full opacity, white at opacity 240 (mean 251: free in trinary),
  // white fully transparent (mean 191: blocked).
  const cv::Mat image =
    (cv::Mat_<cv::Vec4b>(1, 3) << cv::Vec4b(255, 255, 255, 255), cv::Vec4b(255, 255, 255, 240),
     cv::Vec4b(255, 255, 255, 0));
  const cv::Mat trinary = freeOf(image, meta);
  EXPECT_TRUE(freeAt(trinary, 0));
  EXPECT_TRUE(freeAt(trinary, 1));
  EXPECT_FALSE(freeAt(trinary, 2));
  meta.mode = MapMode::Scale;
  const cv::Mat scale = freeOf(image, meta);
  EXPECT_TRUE(freeAt(scale, 0));
  EXPECT_FALSE(freeAt(scale, 1));
  EXPECT_FALSE(freeAt(scale, 2));
}

/// An image and description mapFromImage() refuses, and the message's start.
struct BadMapCase
{
  const char * name;
  cv::Mat image;
  std::function<void(MapServerInfo &, LoadOptions &)> spoil;
  const char * expected;
};

void PrintTo(const BadMapCase & c, std::ostream * os) { *os << c.name; }

class BadImage : public ::testing::TestWithParam<BadMapCase>
{
};

TEST_P(BadImage, IsRefusedWithItsReason)
{
  MapServerInfo info;
  LoadOptions options;
  GetParam().spoil(info, options);
  const std::string message =
    errorOf([&] { quorvane::maps::mapFromImage(GetParam().image, info, options); });
  EXPECT_EQ(message.rfind(GetParam().expected, 0), 0u) << message;
}

const cv::Mat kWhite3x2(2, 3, CV_8UC1, cv::Scalar(255));

INSTANTIATE_TEST_SUITE_P(
  Cases, BadImage,
  ::testing::Values(
    BadMapCase{
      "TwoChannels", cv::Mat(2, 2, CV_8UC2, cv::Scalar(255, 255)), [](auto &, auto &) {},
      "unsupported image: 2 channels"},
    BadMapCase{
      "ResolutionBelowMinimum", kWhite3x2, [](auto & i, auto &) { i.resolution = 1e-300; },
      "the resolution 1e-300 m is below the smallest the toolkit reads, 1e-06 m"},
    BadMapCase{
      "ResolutionNaN", kWhite3x2, [](auto & i, auto &) { i.resolution = std::nan(""); },
      "the resolution must be a finite number > 0, not nan"},
    BadMapCase{
      "YawInfinite", kWhite3x2, [](auto & i, auto &) { i.originYaw = HUGE_VAL; },
      "the origin must be finite"},
    BadMapCase{
      "ThresholdNaN", kWhite3x2, [](auto & i, auto &) { i.freeThresh = std::nan(""); },
      "the thresholds must be finite, not free_thresh nan and occupied_thresh 0.65"},
    BadMapCase{
      "OverBudget", kWhite3x2, [](auto &, auto & o) { o.maxPixels = 5; },
      "the image is too large: 3 x 2 = 6 pixels, more than LoadOptions::maxPixels = 5"},
    BadMapCase{
      "BudgetZero", kWhite3x2, [](auto &, auto & o) { o.maxPixels = 0; },
      "LoadOptions::maxPixels must be positive, not 0"}),
  [](const ::testing::TestParamInfo<BadMapCase> & param) { return param.param.name; });

/// One pixel of map savers' unknown grey 205 in colour, how it is read, and
/// what it becomes.
struct GreyCase
{
  const char * name;
  cv::Mat pixel;
  MapMode mode;
  double freeThresh;
  bool strict;
  bool free, unknown, unknownGreyFree;
};

void PrintTo(const GreyCase & c, std::ostream * os) { *os << c.name; }

class UnknownGreyInColour : public ::testing::TestWithParam<GreyCase>
{
};

TEST_P(UnknownGreyInColour, IsCountedFreeOnlyWhereTheRuleSays)
{
  const GreyCase & c = GetParam();
  MapServerInfo info;
  info.mode = c.mode;
  info.freeThresh = c.freeThresh;
  LoadOptions options;
  options.strictUnknown = c.strict;
  const auto map = quorvane::maps::mapFromImage(c.pixel, info, options);
  EXPECT_EQ(map.free.at<uchar>(0, 0) == 255, c.free);
  EXPECT_EQ(map.unknown.at<uchar>(0, 0) == 255, c.unknown);
  EXPECT_EQ(map.unknownGreyFree.at<uchar>(0, 0) == 255, c.unknownGreyFree);
}

const cv::Mat kGreyRgb(1, 1, CV_8UC3, cv::Scalar(205, 205, 205));
const cv::Mat kGreyRgba(1, 1, CV_8UC4, cv::Scalar(205, 205, 205, 255));

INSTANTIATE_TEST_SUITE_P(
  Table, UnknownGreyInColour,
  ::testing::Values(
    // p = 1 - 615 / 765 = 0.19608 < 0.25: free, by the generous threshold.
    GreyCase{"RgbGenerousThreshold", kGreyRgb, MapMode::Trinary, 0.25, false, true, false, true},
    GreyCase{"RgbGenerousStrict", kGreyRgb, MapMode::Trinary, 0.25, true, false, true, false},
    // Trinary averages the opacity in: p = 1 - (615 + 255) / 1020 = 0.147 < 0.196.
    GreyCase{"RgbaAveraged", kGreyRgba, MapMode::Trinary, 0.196, false, true, false, true},
    GreyCase{"RgbaAveragedStrict", kGreyRgba, MapMode::Trinary, 0.196, true, false, true, false},
    // Scale mode leaves the opacity out: p = 0.19608, not below 0.196.
    GreyCase{"RgbaScale", kGreyRgba, MapMode::Scale, 0.196, false, false, true, false}),
  [](const ::testing::TestParamInfo<GreyCase> & param) { return param.param.name; });

TEST(MapImage, SixteenBitImageIsReadOnTheSameScale)
{
  MapServerInfo meta;
  const cv::Mat image = (cv::Mat_<uint16_t>(1, 2) << 65535, 205 * 257);
  const cv::Mat free = freeOf(image, meta);
  EXPECT_TRUE(freeAt(free, 0));
  EXPECT_FALSE(freeAt(free, 1));
}

TEST(MapImage, MatchesTheLiteralRuleOnRandomImages)
{
  const unsigned seed = 20240611;
  std::mt19937 rng(seed);
  for (int round = 0; round < 50; ++round) {
    SCOPED_TRACE("seed " + std::to_string(seed) + ", round " + std::to_string(round));
    MapServerInfo meta;
    meta.freeThresh = static_cast<double>(rng() % 1001) / 1000.0;
    meta.negate = rng() % 2 == 1;
    const bool colour = rng() % 2 == 1;
    cv::Mat image(7, 9, colour ? CV_8UC3 : CV_8UC1);
    cv::randu(image, 0, 256);
    const cv::Mat free = freeOf(image, meta);
    for (int y = 0; y < image.rows; ++y) {
      for (int x = 0; x < image.cols; ++x) {
        double shade = 0.0;
        if (colour) {
          const cv::Vec3b v = image.at<cv::Vec3b>(y, x);
          shade = (v[0] + v[1] + v[2]) / 3.0 / 255.0;
        } else {
          shade = image.at<uchar>(y, x) / 255.0;
        }
        const double p = meta.negate ? shade : 1.0 - shade;
        ASSERT_EQ(free.at<uchar>(y, x), p < meta.freeThresh ? 255 : 0) << "at " << x << "," << y;
      }
    }
  }
}

}  // namespace
