// Byte-for-byte tests of the header writer.
#include <gtest/gtest.h>
