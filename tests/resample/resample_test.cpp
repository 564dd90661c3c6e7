// Tests of the time step estimate and of resampling.
#include <gtest/gtest.h>
