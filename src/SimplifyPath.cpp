#include "SimplifyPath.hpp"
