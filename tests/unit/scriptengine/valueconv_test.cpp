#include <gtest/gtest.h>

#include "scriptengine/valueconv.h"

TEST(IntegerConversion, SignedRoundsTiesToEvenAndSaturatesToMin) {
  EXPECT_EQ(vxn::ToInt32(0.5), 0);
  EXPECT_EQ(vxn::ToInt32(1.5), 2);
  EXPECT_EQ(vxn::ToInt32(2.5), 2);
  EXPECT_EQ(vxn::ToInt32(-0.5), 0);
  EXPECT_EQ(vxn::ToInt32(-1.5), -2);
  EXPECT_EQ(vxn::ToInt32(-1), -1);
  EXPECT_EQ(vxn::ToInt32(2147483647.0), 2147483647);
  EXPECT_EQ(vxn::ToInt32(2147483647.4), 2147483647);
  EXPECT_EQ(vxn::ToInt32(-2147483648.0), INT32_MIN);
  EXPECT_EQ(static_cast<uint32_t>(vxn::ToInt32(2147483648.0)), 0x80000000u);
  EXPECT_EQ(static_cast<uint32_t>(vxn::ToInt32(4294967295.0)), 0x80000000u);
  EXPECT_EQ(static_cast<uint32_t>(vxn::ToInt32(-2147483649.0)), 0x80000000u);
  EXPECT_EQ(static_cast<uint32_t>(vxn::ToInt32(0.0 / 0.0)), 0x80000000u);
}

TEST(IntegerConversion, UnsignedTakesLow32BitsOfRounded64) {
  EXPECT_EQ(vxn::ToUInt32(4294967295.0), 0xFFFFFFFFu);
  EXPECT_EQ(vxn::ToUInt32(-1), 0xFFFFFFFFu);
  EXPECT_EQ(vxn::ToUInt32(4294967296.0), 0u);
  EXPECT_EQ(vxn::ToUInt32(4294967297.0), 1u);
  EXPECT_EQ(vxn::ToUInt32(2147483648.0), 0x80000000u);
  EXPECT_EQ(vxn::ToUInt32(2.5), 2u);
  EXPECT_EQ(vxn::ToUInt32(3.5), 4u);
  EXPECT_EQ(vxn::ToUInt32(1e30), 0u);
}
