#include "CurvatureAnalyzer.hpp"
