#include <gtest/gtest.h>

#include "calc/segment.h"

TEST(Smoke, Builds) { EXPECT_EQ(zepa::compute_segment(3, 1).r, 5.0f); }
