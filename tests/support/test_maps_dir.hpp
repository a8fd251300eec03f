// The folder of real maps that some tests read, from QUORVANE_TEST_MAPS_DIR
// (set by CTest from the CMake cache variable of the same name).
#ifndef QUORVANE_NAV2_ALGO_CORE__SUPPORT__TEST_MAPS_DIR_HPP_
#define QUORVANE_NAV2_ALGO_CORE__SUPPORT__TEST_MAPS_DIR_HPP_

#include <cstdlib>
#include <filesystem>

namespace quorvane
{
namespace test
{

/// The folder of real maps, or an empty path when none is configured or it
/// does not exist (tests that need it then skip).
inline std::filesystem::path testMapsDir()
{
  const char * env = std::getenv("QUORVANE_TEST_MAPS_DIR");
  std::error_code ec;
  if (env == nullptr || *env == '\0' || !std::filesystem::is_directory(env, ec)) {
    return {};
  }
  return env;
}

}  // namespace test
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__SUPPORT__TEST_MAPS_DIR_HPP_
