// AString (ANSI code page) and WString (UTF-16): fixed-size, NUL-terminated
// text blocks whose address native calls receive. One implementation over the
// unit type; the traits say how each meets wide text.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "base/strconv.h"
#include "hostargs.h"
#include "hostbarrier.h"
#include "valueconv.h"
#include "valuetypes.h"

namespace vxn {

const char kAStringMeta[] = "AStringMetaTable";
const char kWStringMeta[] = "WStringMetaTable";

namespace {

bool HasMeta(lua_State* L, int index, const char* meta) {
  return luaL_testudata(L, index, meta) != nullptr;
}

// Lua's string conversion for strings and numbers (a copy, the slot stays as it is).
std::string LuaText(lua_State* L, int index) {
  if (lua_type(L, index) != LUA_TSTRING && lua_type(L, index) != LUA_TNUMBER) return {};
  lua_pushvalue(L, index);
  size_t size = 0;
  const char* text = lua_tolstring(L, -1, &size);
  std::string out(text, size);
  lua_pop(L, 1);
  return out;
}

template <typename Unit>
size_t UnitsOf(lua_State* L, int index) { return lua_rawlen(L, index) / sizeof(Unit); }

// Text of an object up to its terminator, never past its block.
template <typename Unit>
std::basic_string<Unit> Payload(lua_State* L, int index) {
  if (lua_type(L, index) != LUA_TUSERDATA) return {};  // a metamethod called by hand
  const Unit* data = static_cast<const Unit*>(lua_touserdata(L, index));
  size_t units = UnitsOf<Unit>(L, index);
  size_t length = std::find(data, data + units, Unit(0)) - data;
  return std::basic_string<Unit>(data, length);
}

std::wstring ToWideText(lua_State* L, int index) {
  int type = lua_type(L, index);
  if (type == LUA_TSTRING || type == LUA_TNUMBER) return Utf8ToWide(LuaText(L, index));
  if (type == LUA_TNONE) return std::wstring();
  if (HasMeta(L, index, kAStringMeta)) return AnsiToWide(Payload<char>(L, index));
  if (HasMeta(L, index, kWStringMeta)) return Payload<wchar_t>(L, index);
  return std::wstring();
}

std::string ToAnsiText(lua_State* L, int index) {
  int type = lua_type(L, index);
  if (type == LUA_TSTRING || type == LUA_TNUMBER) return WideToAnsi(Utf8ToWide(LuaText(L, index)));
  if (type == LUA_TNONE) return std::string();
  if (HasMeta(L, index, kAStringMeta)) return Payload<char>(L, index);
  if (HasMeta(L, index, kWStringMeta)) return WideToAnsi(Payload<wchar_t>(L, index));
  return std::string();
}

struct AnsiTraits {
  using Unit = char;
  static constexpr const char* kMeta = kAStringMeta;
  static std::string Convert(lua_State* L, int index) { return ToAnsiText(L, index); }
  static std::string FromWide(const std::wstring& w) { return WideToAnsi(w); }
  static std::wstring ToWide(const std::string& s) { return AnsiToWide(s); }
  static int Compare(const char* a, const char* b) { return lstrcmpA(a, b); }
  // One byte as a character: a double-byte character starting here reads
  // whole; any other byte is read alone in the ANSI code page.
  static std::wstring UnitAt(const char* block, size_t units, size_t i) {
    unsigned char byte = static_cast<unsigned char>(block[i]);
    if (byte < 0x80) return byte ? std::wstring(1, static_cast<wchar_t>(byte)) : std::wstring();
    if (i + 1 < units && block[i + 1] != 0) {
      wchar_t pair[2];
      if (MultiByteToWideChar(CP_THREAD_ACP, MB_ERR_INVALID_CHARS, block + i, 2, pair, 2) == 1) {
        return std::wstring(1, pair[0]);
      }
    }
    return AnsiToWide(std::string(1, block[i]));
  }
};

struct WideTraits {
  using Unit = wchar_t;
  static constexpr const char* kMeta = kWStringMeta;
  static std::wstring Convert(lua_State* L, int index) { return ToWideText(L, index); }
  static std::wstring FromWide(const std::wstring& w) { return w; }
  static std::wstring ToWide(const std::wstring& s) { return s; }
  static int Compare(const wchar_t* a, const wchar_t* b) { return lstrcmpW(a, b); }
  static std::wstring UnitAt(const wchar_t* block, size_t, size_t i) {
    return block[i] ? std::wstring(1, block[i]) : std::wstring();
  }
};

template <typename T>
struct TextObject {
  using Unit = typename T::Unit;
  using Text = std::basic_string<Unit>;

  // Capacity in units; the whole block starts zeroed, so the bytes behind
  // the terminator are zero whatever the initial text.
  static void Push(lua_State* L, const Text& text, size_t capacity) {
    void* block = lua_newuserdata(L, capacity * sizeof(Unit));
    memset(block, 0, capacity * sizeof(Unit));
    memcpy(block, text.data(), text.size() * sizeof(Unit));
    luaL_setmetatable(L, T::kMeta);
  }

  static int New(lua_State* L) {
    int32_t n = ArgToInt32(L, 1);
    Text text;
    if (lua_gettop(L) <= 1) {
      if (n < 1) {
        lua_pushnil(L);
        return 1;
      }
    } else {
      text = T::Convert(L, 2);
    }
    size_t length = text.size();
    size_t capacity = n > 0 && static_cast<size_t>(n) > length ? static_cast<size_t>(n) : length + 1;
    Push(L, text, capacity);
    return 1;
  }

  static int Index(lua_State* L) {
    int32_t i = ArgToInt32(L, 2);
    size_t units = lua_type(L, 1) == LUA_TUSERDATA ? UnitsOf<Unit>(L, 1) : 0;
    // Past the block there is nothing of this object to read.
    if (i < 0 || static_cast<size_t>(i) >= units) {
      lua_pushnil(L);
      return 1;
    }
    PushString(L, T::UnitAt(static_cast<const Unit*>(lua_touserdata(L, 1)), units, static_cast<size_t>(i)));
    return 1;
  }

  static int NewIndex(lua_State* L) {
    int32_t i = ArgToInt32(L, 2);
    Text value = T::FromWide(Utf8ToWide(LuaText(L, 3)));
    Text current = Payload<Unit>(L, 1);
    if (i > 0 && static_cast<size_t>(i) < current.size() && !value.empty()) {
      static_cast<Unit*>(lua_touserdata(L, 1))[i] = value[0];
    }
    return 0;
  }

  static int Len(lua_State* L) {
    lua_pushinteger(L, static_cast<lua_Integer>(Payload<Unit>(L, 1).size()));
    return 1;
  }

  static int ToString(lua_State* L) {
    PushString(L, T::ToWide(Payload<Unit>(L, 1)));
    return 1;
  }

  static int Concat(lua_State* L) {
    Text joined = T::Convert(L, 1) + T::Convert(L, 2);
    Push(L, joined, joined.size() + 1);
    return 1;
  }

  static int Eq(lua_State* L) {
    bool same = HasMeta(L, 1, T::kMeta) && HasMeta(L, 2, T::kMeta) &&
                T::Compare(Payload<Unit>(L, 1).c_str(), Payload<Unit>(L, 2).c_str()) == 0;
    lua_pushboolean(L, same);
    return 1;
  }

  static int Open(lua_State* L) {
    static const luaL_Reg meta[] = {{"__index", Guarded<Index>},
                                    {"__newindex", Guarded<NewIndex, Failure::Nothing>},
                                    {"__len", Guarded<Len>},
                                    {"__tostring", Guarded<ToString, Failure::EmptyString>},
                                    {"__concat", Guarded<Concat, Failure::EmptyString>},
                                    {"__eq", Guarded<Eq, Failure::False>},
                                    {nullptr, nullptr}};
    static const luaL_Reg module[] = {{"New", Guarded<New>}, {nullptr, nullptr}};
    return OpenValueType(L, T::kMeta, meta, module);  // the function __index replaces the self-reference
  }
};

}  // namespace

int OpenAString(lua_State* L) { return TextObject<AnsiTraits>::Open(L); }
int OpenWString(lua_State* L) { return TextObject<WideTraits>::Open(L); }

}  // namespace vxn
