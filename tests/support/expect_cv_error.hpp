// Expects a call to throw cv::Exception, with a given error code.
#ifndef QUORVANE_NAV2_ALGO_CORE__SUPPORT__EXPECT_CV_ERROR_HPP_
#define QUORVANE_NAV2_ALGO_CORE__SUPPORT__EXPECT_CV_ERROR_HPP_

#include <gtest/gtest.h>

#include <functional>

#include <opencv2/core.hpp>

namespace quorvane
{
namespace test
{

/// Runs @p call and expects a cv::Exception with @p code (any code if 0).
inline void expectCvError(const std::function<void()> & call, int code = 0)
{
  try {
    call();
    ADD_FAILURE() << "no cv::Exception";
  } catch (const cv::Exception & e) {
    if (code != 0) {
      EXPECT_EQ(e.code, code) << e.what();
    }
  }
}

}  // namespace test
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__SUPPORT__EXPECT_CV_ERROR_HPP_
