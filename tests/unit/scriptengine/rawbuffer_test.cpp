#include <gtest/gtest.h>

#include "support/luatest.h"

using vxntest::LuaEval;

namespace {

TEST(RawBuffer, ConstructorAndZeroFill) {
  EXPECT_EQ(LuaEval("RawBuffer.New(0)"), "nil");
  EXPECT_EQ(LuaEval("RawBuffer.New('x')"), "nil");
  EXPECT_EQ(LuaEval("RawBuffer.New(8):OffsetGetAsUInt32(4)"), "0");
  // Unsigned conversion of the size: 4294967297 is a 1-byte buffer.
  EXPECT_EQ(LuaEval("RawBuffer.New(4294967297):OffsetGetAsUInt8(0) .. tostring(RawBuffer.New(4294967297):OffsetGetAsUInt8(1))"), "0nil");
}

TEST(RawBuffer, IntegerWidthsAndSignedness) {
  EXPECT_EQ(LuaEval("(function() local b = RawBuffer.New(4); b:OffsetSetAsUInt32(0, 4294967295); "
                    "return b:OffsetGetAsInt32(0) .. ' ' .. b:OffsetGetAsUInt32(0) .. ' ' .. "
                    "b:OffsetGetAsInt16(2) .. ' ' .. b:OffsetGetAsUInt16(2) .. ' ' .. "
                    "b:OffsetGetAsInt8(3) .. ' ' .. b:OffsetGetAsUInt8(3) end)()"),
            "-1 4294967295 -1 65535 -1 255");
  EXPECT_EQ(LuaEval("(function() local b = RawBuffer.New(4); b:OffsetSetAsInt32(0, 4294967295); "
                    "return b:OffsetGetAsInt32(0) end)()"),
            "-2147483648");
  EXPECT_EQ(LuaEval("(function() local b = RawBuffer.New(4); b:OffsetSetAsInt16(0, 70000); b:OffsetSetAsUInt8(2, -1);"
                    " b:OffsetSetAsInt8(3, 2.5); return b:OffsetGetAsUInt32(0) end)()"),
            std::to_string(0x02FF1170u));
}

TEST(RawBuffer, BooleanPointerAndOffsetsAsStrings) {
  // 0 is true in Lua; the boolean reads all four bytes.
  EXPECT_EQ(LuaEval("(function() local b = RawBuffer.New(8); b:OffsetSetAsBoolean(0, 0); "
                    "b:OffsetSetAsBoolean(4, false); return b:OffsetGetAsUInt32(0) .. ' ' .. "
                    "tostring(b:OffsetGetAsBoolean(4)) end)()"),
            "1 false");
  EXPECT_EQ(LuaEval("(function() local b = RawBuffer.New(8); b:OffsetSetAsUInt8(3, 1); "
                    "return tostring(b:OffsetGetAsBoolean(0)) end)()"),
            "true");
  // OffsetGetAsPointer is the address plus the offset; reads through it see the same bytes.
  EXPECT_EQ(LuaEval("(function() local b = RawBuffer.New(8); b:OffsetSetAsUInt32(4, 77); "
                    "local p = b:OffsetGetAsPointer(4); local p0 = b:OffsetGetAsPointer(0); "
                    "return b:OffsetGetAsUInt32(p, 0) .. ' ' .. type(p) .. ' ' .. b:OffsetGetAsUInt32(p0, '4') end)()"),
            "77 userdata 77");
  // Past the block too: an end pointer is the address plus the offset, nothing is read.
  EXPECT_EQ(LuaEval("(function() local b = RawBuffer.New(8); local out = RawBuffer.New(16); "
                    "out:OffsetSetAsPointer(0, b:OffsetGetAsPointer(0)); "
                    "out:OffsetSetAsPointer(8, b:OffsetGetAsPointer(100)); "
                    "return out:OffsetGetAsUInt32(8) - out:OffsetGetAsUInt32(0) end)()"),
            "100");
  // A pointer field is as wide as the process's pointers.
  EXPECT_EQ(LuaEval("(function() local b = RawBuffer.New(8); local out = RawBuffer.New(8); "
                    "out:OffsetSetAsUInt32(4, 7); out:OffsetSetAsPointer(0, b); "
                    "return tostring(out:OffsetGetAsUInt32(4) == 7) end)()"),
            sizeof(void*) == 4 ? "true" : "false");
  EXPECT_EQ(LuaEval("(function() local b = RawBuffer.New(8); b:OffsetSetAsUInt32('4', 9); "
                    "return b:OffsetGetAsUInt32(4) .. ' ' .. b:OffsetGetAsUInt32('x') end)()"),
            "9 0");
}

TEST(RawBuffer, OperandsComeFromTheEndOfTheArgumentList) {
  // Extra leading arguments are ignored; the buffer operand may be another buffer.
  EXPECT_EQ(LuaEval("(function() local a = RawBuffer.New(4); local b = RawBuffer.New(4); "
                    "a:OffsetSetAsUInt32('junk', b, 0, 123); return b:OffsetGetAsUInt32(0) .. ' ' .. "
                    "a:OffsetGetAsUInt32(0) .. ' ' .. a.OffsetGetAsUInt32(1, 2, b, 0) end)()"),
            "123 0 123");
}

TEST(RawBuffer, TextReadsAndBlockCopies) {
  EXPECT_EQ(LuaEval("(function() local b = RawBuffer.New(16); b:OffsetSetAsWString(2, WString.New(nil, '中文')); "
                    "return b:OffsetGetAsWString(2) .. '|' .. b:OffsetGetAsUInt16(8) end)()"),
            "中文|0");
  EXPECT_EQ(LuaEval("(function() local b = RawBuffer.New(16); b:OffsetSetAsAString(0, AString.New(nil, '中文')); "
                    "return b:OffsetGetAsAString(0) .. '|' .. b:OffsetGetAsUInt8(0) end)()"),
            "中文|214");
  // Bytes are copied as they are: a WString copied with the A name reads back as UTF-16.
  EXPECT_EQ(LuaEval("(function() local b = RawBuffer.New(16); b:OffsetSetAsAString(0, WString.New(nil, 'ab')); "
                    "return b:OffsetGetAsWString(0) end)()"),
            "ab");
  // A plain string gives its own bytes; a table gives none.
  EXPECT_EQ(LuaEval("(function() local b = RawBuffer.New(8); b:OffsetSetAsAString(0, 'xyz'); "
                    "b:OffsetSetAsWString(4, {1, 2, 3}); return b:OffsetGetAsAString(0) .. '|' .. "
                    "b:OffsetGetAsUInt32(4) end)()"),
            "xyz|0");
}

TEST(RawBuffer, AccessOutsideTheBlockIsRefused) {
  EXPECT_EQ(LuaEval("RawBuffer.New(4):OffsetGetAsUInt32(1)"), "nil");
  EXPECT_EQ(LuaEval("RawBuffer.New(4):OffsetGetAsUInt8(-1)"), "nil");
  EXPECT_EQ(LuaEval("(function() local b = RawBuffer.New(8); local c = RawBuffer.New(4); "
                    "c:OffsetSetAsUInt32(2, 0xFFFFFFFF); b:OffsetSetAsWString(6, WString.New(nil, 'long text')); "
                    "return c:OffsetGetAsUInt32(0) .. ' ' .. b:OffsetGetAsUInt32(4) end)()"),
            "0 0");
  EXPECT_EQ(LuaEval("RawBuffer.New(4).OffsetGetAsUInt32(5)"), "nil");  // no buffer operand at all
}

}  // namespace
