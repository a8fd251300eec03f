#include "outputs.hpp"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <opencv2/imgcodecs.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane
{
namespace tools
{
namespace
{

namespace fs = std::filesystem;

/// The shortest decimal that reads back as @p value.
std::string shortest(double value)
{
  char text[32];
  const std::to_chars_result written = std::to_chars(text, text + sizeof(text), value);
  return std::string(text, written.ptr);
}

[[noreturn]] void fail(const std::string & path, const std::string & why)
{
  throw OutputWriteError("cannot write " + path + ": " + why);
}

/// Writes @p bytes to a new temporary file beside @p path; returns its name.
std::string writeTemporary(const std::string & path, const std::string & bytes)
{
  const fs::path target(path);
  if (target.filename().empty()) {
    fail(path, "not a file name");
  }
  std::string name =
    (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    fail(path, std::strerror(errno));
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      const std::string why = std::strerror(errno);
      ::close(fd);
      ::unlink(name.c_str());
      fail(path, why);
    }
    done += static_cast<std::size_t>(n);
  }
  // mkstemp makes the file readable by its owner only; give it the usual
  // permissions of a new file under the process's umask.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  if (::fchmod(fd, 0666 & ~mask) != 0 || ::close(fd) != 0) {
    const std::string why = std::strerror(errno);
    ::unlink(name.c_str());
    fail(path, why);
  }
  return name;
}

}  // namespace

std::vector<OutputFile> mapServerFiles(const maps::Map & map, const std::string & yamlPath)
{
  cv::Mat grey(map.free.size(), CV_8UC1, cv::Scalar(0));
  if (!map.unknown.empty()) {
    grey.setTo(205, map.unknown != 0);
  }
  grey.setTo(254, map.free == 255);
  std::vector<uchar> pgm;
  if (!cv::imencode(".pgm", grey, pgm)) {
    throw OutputWriteError("cannot encode the map as PGM for " + yamlPath);
  }
  const fs::path image = fs::path(yamlPath).replace_extension(".pgm");
  const maps::MapFrame & f = map.frame;
  const std::string numbers = "resolution: " + shortest(f.resolution) + "\norigin: [" +
                              shortest(f.originX) + ", " + shortest(f.originY) + ", " +
                              shortest(f.originYaw) + "]\n";
  // The file name in YAML's single-quoted style, so that any name reads back.
  std::string name = image.filename().string();
  for (std::size_t at = name.find('\''); at != std::string::npos; at = name.find('\'', at + 2)) {
    name.insert(at, 1, '\'');
  }
  std::string yaml = "image: '" + name + "'\nmode: trinary\n" + numbers +
                     "negate: 0\noccupied_thresh: 0.65\nfree_thresh: 0.196\n";
  return {{yamlPath, std::move(yaml)}, {image.string(), std::string(pgm.begin(), pgm.end())}};
}

void writeAllOrNothing(const std::vector<OutputFile> & files)
{
  std::vector<std::string> temporaries;
  try {
    for (const OutputFile & file : files) {
      temporaries.push_back(writeTemporary(file.path, file.bytes));
    }
  } catch (...) {
    for (const std::string & t : temporaries) {
      ::unlink(t.c_str());
    }
    throw;
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (std::rename(temporaries[i].c_str(), files[i].path.c_str()) != 0) {
      const std::string why = std::strerror(errno);
      for (std::size_t j = i; j < files.size(); ++j) {
        ::unlink(temporaries[j].c_str());
      }
      for (std::size_t j = 0; j < i; ++j) {
        ::unlink(files[j].path.c_str());
      }
      fail(files[i].path, why);
    }
  }
}

}  // namespace tools
}  // namespace quorvane
