#include <gtest/gtest.h>

#include <quernfold/quernfold.h>

using namespace ovk::quernfold;

TEST(ElementTypes, VersionIsStable) {
  EXPECT_STREQ(version(), "5.1.0.0");
  EXPECT_EQ(version(), version());
}
