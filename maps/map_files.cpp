// Reading the readers' files: one message per reason a file cannot be read,
// and the rules every YAML text must meet before it reaches the parser.

#include <algorithm>
#include <cerrno>
#include <string>
#include <string_view>
#include <system_error>

#include <yaml-cpp/eventhandler.h>
#include <yaml-cpp/yaml.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "map_workers.hpp"
#include "utf8.hpp"

namespace quorvane
{
namespace maps
{
namespace detail
{
namespace
{

/// What a file that is not a regular one is, for messages.
const char * fileKind(mode_t mode)
{
  if (S_ISDIR(mode)) {
    return "a directory";
  }
  if (S_ISFIFO(mode)) {
    return "a FIFO";
  }
  if (S_ISCHR(mode)) {
    return "a character device";
  }
  if (S_ISBLK(mode)) {
    return "a block device";
  }
  if (S_ISSOCK(mode)) {
    return "a socket";
  }
  return "another kind of file";
}

/// The message for an errno of stat(), open() or read() on @p path.
[[noreturn]] void fileError(int error, const std::string & path, const char * what)
{
  const std::string name(what);
  if (error == ENOENT || error == ENOTDIR) {
    throw MapError(name + " not found: " + path);
  }
  if (error == ELOOP) {
    throw MapError(name + " is not a regular file (a symbolic link loop): " + path);
  }
  const std::string reason = error == EACCES || error == EPERM
                               ? std::string("permission denied")
                               : std::generic_category().message(error);
  throw MapError(name + " is unreadable (" + reason + "): " + path);
}

/// Closes a descriptor when it goes out of scope.
struct FileDescriptor
{
  int fd;
  ~FileDescriptor()
  {
    if (fd >= 0) {
      ::close(fd);
    }
  }
};

/// Where each document starts, and where the first thing in a document
/// after the first one that is not empty lies.
class DocumentWatch : public YAML::EventHandler
{
public:
  /// @p firstStart: where the first document, already read, started; -1
  /// when it is still to be read.
  explicit DocumentWatch(int firstStart) : documents_(firstStart < 0 ? 0 : 1), start_(firstStart) {}

  void OnDocumentStart(const YAML::Mark & mark) override
  {
    if (documents_ > 0 && mark.pos <= start_) {
      stuck_ = true;
      at_ = mark;
    }
    start_ = mark.pos;
    ++documents_;
  }
  void OnDocumentEnd() override {}
  void OnNull(const YAML::Mark &, YAML::anchor_t) override {}
  void OnAlias(const YAML::Mark & mark, YAML::anchor_t) override { content(mark); }
  void OnScalar(
    const YAML::Mark & mark, const std::string &, YAML::anchor_t, const std::string &) override
  {
    content(mark);
  }
  void OnSequenceStart(
    const YAML::Mark & mark, const std::string &, YAML::anchor_t,
    YAML::EmitterStyle::value) override
  {
    content(mark);
  }
  void OnSequenceEnd() override {}
  void OnMapStart(
    const YAML::Mark & mark, const std::string &, YAML::anchor_t,
    YAML::EmitterStyle::value) override
  {
    content(mark);
  }
  void OnMapEnd() override {}

  /// Why the documents read so far cannot be; empty when they can.
  std::string problem() const
  {
    if (!stuck_ && !extra_) {
      return {};
    }
    return "line " + std::to_string(at_.line + 1) +
           (stuck_ ? ": unexpected text" : ": more than one document");
  }

private:
  void content(const YAML::Mark & mark)
  {
    if (documents_ > 1 && !extra_) {
      extra_ = true;
      at_ = mark;
    }
  }

  int documents_;
  int start_;
  bool stuck_ = false;
  bool extra_ = false;
  YAML::Mark at_;
};

}  // namespace

std::string extraYamlDocuments(YAML::Parser & parser, int firstStart)
{
  DocumentWatch watch(firstStart);
  while (watch.problem().empty() && parser.HandleNextDocument(watch)) {
  }
  return watch.problem();
}

std::string readFileBytes(const std::string & path, const char * what)
{
  // The type is looked at before opening: opening a device can have effects
  // of its own. The descriptor is checked again, in case the file changed in
  // between; O_NONBLOCK makes even that open return at once for a FIFO.
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) {
    fileError(errno, path, what);
  }
  if (!S_ISREG(info.st_mode)) {
    throw MapError(
      std::string(what) + " is not a regular file (" + fileKind(info.st_mode) + "): " + path);
  }
  const FileDescriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
  if (file.fd < 0) {
    fileError(errno, path, what);
  }
  if (::fstat(file.fd, &info) != 0) {
    fileError(errno, path, what);
  }
  if (!S_ISREG(info.st_mode)) {
    throw MapError(
      std::string(what) + " is not a regular file (" + fileKind(info.st_mode) + "): " + path);
  }
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(info.st_size));
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(file.fd, buffer, sizeof(buffer));
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      fileError(errno, path, what);
    }
    if (got == 0) {
      break;
    }
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  return bytes;
}

std::string yamlTextProblem(std::string_view text)
{
  const std::size_t valid = validUtf8Prefix(text);
  std::size_t bad = valid;
  const char * reason = "not UTF-8 text";
  for (std::size_t i = 0; i < valid; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) {
      bad = i;
      reason = nullptr;
      break;
    }
  }
  if (bad == text.size()) {
    return {};
  }
  const std::size_t line =
    1 + static_cast<std::size_t>(
          std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(bad), '\n'));
  if (reason != nullptr) {
    return "line " + std::to_string(line) + ": " + reason;
  }
  static const char kHex[] = "0123456789ABCDEF";
  const auto c = static_cast<unsigned char>(text[bad]);
  return "line " + std::to_string(line) + ": control character 0x" + kHex[c >> 4] + kHex[c & 15] +
         " (YAML text holds none but tab and line breaks)";
}

}  // namespace detail
}  // namespace maps
}  // namespace quorvane
