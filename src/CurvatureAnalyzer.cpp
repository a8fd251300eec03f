#include "CurvatureAnalyzer.hpp"

#include "curvature.hpp"

double CurvatureAnalyzer::curvature(const cv::Point & a, const cv::Point & b, const cv::Point & c)
{
  return quorvane::curvature::turningCurvature(a, b, c);
}

cv::Point CurvatureAnalyzer::findMaxCurvaturePoint(const std::vector<cv::Point> & points)
{
  return quorvane::curvature::sharpestVertex(points);
}
