#include "Rotator.hpp"
