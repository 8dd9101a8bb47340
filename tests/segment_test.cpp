#include "calc/segment.h"

#include <gtest/gtest.h>

TEST(Smoke, Builds) { EXPECT_EQ(zepa::compute_segment(3, 1).r, 5.0f); }
