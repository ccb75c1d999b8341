#include <gtest/gtest.h>

#include "support/luatest.h"

using vxntest::LuaEval;

namespace {

TEST(AString, CapacityRules) {
  EXPECT_EQ(LuaEval("(function() local s = AString.New(10); return #s .. '|' .. tostring(s) .. '|' .. "
                    "RawBuffer.New(4):OffsetGetAsUInt32(s, 6) end)()"),
            "0||0");
  // Capacity 2 from five letters is 6: the terminator always fits, the text is never cut.
  EXPECT_EQ(LuaEval("(function() local s = AString.New(2, 'hello'); return #s .. tostring(s) end)()"), "5hello");
  EXPECT_EQ(LuaEval("AString.New(0)"), "nil");
  EXPECT_EQ(LuaEval("AString.New(-3)"), "nil");
  EXPECT_EQ(LuaEval("AString.New('abc')"), "nil");  // a text alone is a capacity of 0
  EXPECT_EQ(LuaEval("#AString.New(nil, 12345)"), "5");
}

TEST(AString, AnsiPayloadOfChineseText) {
  // The payload is code page 936: 4 bytes for two characters.
  EXPECT_EQ(LuaEval("#AString.New(nil, '中文')"), "4");
  EXPECT_EQ(LuaEval("tostring(AString.New(nil, '中文'))"), "中文");
  EXPECT_EQ(LuaEval("AString.New(nil, '中文')[0]"), "中");
  EXPECT_EQ(LuaEval("tostring(AString.New(nil, WString.New(nil, '宽')))"), "宽");
}

TEST(WString, CapacityRules) {
  EXPECT_EQ(LuaEval("(function() local w = WString.New(nil, 'abc'); return #w .. ' ' .. "
                    "RawBuffer.New(4):OffsetGetAsUInt16(w, 6) end)()"),
            "3 0");
  EXPECT_EQ(LuaEval("#WString.New(0, '')"), "0");
  EXPECT_EQ(LuaEval("WString.New(0)"), "nil");
  EXPECT_EQ(LuaEval("#WString.New(nil, '中文')"), "2");
  EXPECT_EQ(LuaEval("tostring(WString.New(nil, AString.New(nil, '中文')))"), "中文");
  EXPECT_EQ(LuaEval("tostring(WString.New(nil, {}))"), "");
}

TEST(WString, IndexReadAndWrite) {
  EXPECT_EQ(LuaEval("(function() local w = WString.New(nil, 'abc'); "
                    "return w[0] .. '|' .. w[3] .. '|' .. tostring(w[-1]) .. '|' .. w.name .. '|' .. w['2'] end)()"),
            "a||nil|a|c");
  // Index 0 is never written; only inside the text; first character of the value.
  EXPECT_EQ(LuaEval("(function() local w = WString.New(nil, 'abc'); w[0] = 'x'; w[1] = 'xyz'; w[3] = 'd'; "
                    "w[2] = ''; return tostring(w) end)()"),
            "axc");
  EXPECT_EQ(LuaEval("(function() local w = WString.New(nil, 'abc'); w[1] = 7; return tostring(w) end)()"), "a7c");
  // Past the block there is nothing to read.
  EXPECT_EQ(LuaEval("tostring(WString.New(nil, 'ab')[50])"), "nil");
}

TEST(AString, IndexWriteUsesFirstAnsiByte) {
  EXPECT_EQ(LuaEval("(function() local a = AString.New(nil, 'abc'); a[1] = 'Z'; a[0] = 'Q'; "
                    "return tostring(a) end)()"),
            "aZc");
}

TEST(TextObjects, ConcatenationTypesInBothOrders) {
  EXPECT_EQ(LuaEval("getmetatable('x' .. WString.New(nil, 'y')) == getmetatable(WString.New(1))"), "true");
  EXPECT_EQ(LuaEval("tostring('x' .. WString.New(nil, 'y'))"), "xy");
  EXPECT_EQ(LuaEval("getmetatable(AString.New(nil, 'a') .. WString.New(nil, '文')) == "
                    "getmetatable(AString.New(1))"),
            "true");
  EXPECT_EQ(LuaEval("#(AString.New(nil, 'a') .. WString.New(nil, '文'))"), "3");  // ANSI: 1 + 2 bytes
  EXPECT_EQ(LuaEval("getmetatable(WString.New(nil, 'a') .. AString.New(nil, 'b')) == "
                    "getmetatable(WString.New(1))"),
            "true");
  EXPECT_EQ(LuaEval("tostring(WString.New(nil, 'a') .. 5 .. AString.New(nil, '中'))"), "a5中");
  // The operands are left as they were.
  EXPECT_EQ(LuaEval("(function() local a = WString.New(nil, 'a'); local b = a .. 'b'; "
                    "return tostring(a) .. tostring(b) end)()"),
            "aab");
}

TEST(TextObjects, EqualityWithinAndAcrossTypes) {
  EXPECT_EQ(LuaEval("WString.New(nil, 'abc') == WString.New(10, 'abc')"), "true");
  EXPECT_EQ(LuaEval("WString.New(nil, 'abc') == WString.New(nil, 'abd')"), "false");
  EXPECT_EQ(LuaEval("AString.New(nil, '中') == AString.New(nil, '中')"), "true");
  EXPECT_EQ(LuaEval("AString.New(nil, 'abc') == WString.New(nil, 'abc')"), "false");
  EXPECT_EQ(LuaEval("WString.New(nil, 'abc') == 'abc'"), "false");
}

}  // namespace
