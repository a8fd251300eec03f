#ifndef QUORVANE_NAV2_ALGO_CORE__SUPPORT__SCRATCH_DIR_HPP_
#define QUORVANE_NAV2_ALGO_CORE__SUPPORT__SCRATCH_DIR_HPP_

// A scratch folder for tests that write files.

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace quorvane
{
namespace test
{

/// A fresh folder under the system's temporary directory, removed at the end.
class ScratchDir
{
public:
  ScratchDir()
  {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("quorvane_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir()
  {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir &) = delete;
  ScratchDir & operator=(const ScratchDir &) = delete;

  /// @p name inside the folder (its parent folders are created).
  std::string file(const std::string & name) const
  {
    const std::filesystem::path p = path_ / name;
    std::filesystem::create_directories(p.parent_path());
    return p.string();
  }

  /// Writes @p text to @p name and returns its path.
  std::string write(const std::string & name, const std::string & text) const
  {
    std::string p = file(name);
    std::ofstream(p, std::ios::binary) << text;
    return p;
  }

  const std::filesystem::path & path() const { return path_; }

private:
  std::filesystem::path path_;
};

}  // namespace test
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__SUPPORT__SCRATCH_DIR_HPP_
