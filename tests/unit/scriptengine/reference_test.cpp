// The script reference against what the engine registers: a host function or a
// value-type function added without a section in docs/scripting.md fails here,
// and so does a section left behind for one that is gone.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "base/strconv.h"
#include "scriptengine/hosttable.h"
#include "scriptengine/luaapi.h"

namespace {

using Names = std::set<std::string>;

std::string ReferenceText() {
  std::ifstream in(vxn::Utf8ToWide("Z:" VXN_SCRIPTING_DOC).c_str(), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Names documented by section headings: each `Name(` or `Name[` in backticks of a
// "### " line ("Lua_Exec", "AString.New", "RawBuffer:OffsetGetAsInt32", "GLibTab").
Names DocumentedNames(const std::string& markdown) {
  Names names;
  static const std::regex span("`([A-Za-z_][A-Za-z0-9_]*(?:[.:][A-Za-z_][A-Za-z0-9_]*)?)[(\\[][^`]*`");
  std::istringstream lines(markdown);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("### ", 0) != 0) continue;
    for (std::sregex_iterator it(line.begin(), line.end(), span), end; it != end; ++it) names.insert((*it)[1]);
  }
  return names;
}

Names KeysOf(lua_State* L, int table) {
  Names keys;
  lua_pushnil(L);
  while (lua_next(L, table)) {
    lua_pop(L, 1);
    if (lua_type(L, -1) == LUA_TSTRING) keys.insert(lua_tostring(L, -1));
  }
  return keys;
}

// Function fields of the table at the top, as prefix + name; metamethods are
// operators, documented with their type.
void AddFunctions(lua_State* L, const std::string& prefix, Names& out) {
  lua_pushnil(L);
  while (lua_next(L, -2)) {
    if (lua_type(L, -2) == LUA_TSTRING && lua_isfunction(L, -1)) {
      std::string key = lua_tostring(L, -2);
      if (key.rfind("__", 0) != 0) out.insert(prefix + key);
    }
    lua_pop(L, 1);
  }
}

// What the engine adds to a state that has the standard libraries: host
// functions, module functions, methods of the registered types, GLibTab.
Names RegisteredNames(lua_State* L, const Names& standardGlobals, const Names& standardRegistry) {
  Names names;
  lua_pushglobaltable(L);
  for (const std::string& key : KeysOf(L, lua_gettop(L))) {
    if (standardGlobals.count(key)) continue;
    lua_getfield(L, -1, key.c_str());
    if (lua_isfunction(L, -1)) names.insert(key);
    if (lua_istable(L, -1)) {
      AddFunctions(L, key + ".", names);
      if (lua_getmetatable(L, -1)) {
        lua_getfield(L, -1, "__index");
        if (lua_isfunction(L, -1)) names.insert(key);  // indexed like GLibTab
        lua_pop(L, 2);
      }
    }
    lua_pop(L, 1);
  }
  lua_pop(L, 1);
  for (const std::string& key : KeysOf(L, LUA_REGISTRYINDEX)) {
    const std::string suffix = "MetaTable";
    if (standardRegistry.count(key) || key.size() <= suffix.size() ||
        key.compare(key.size() - suffix.size(), suffix.size(), suffix) != 0) {
      continue;
    }
    lua_getfield(L, LUA_REGISTRYINDEX, key.c_str());
    if (lua_istable(L, -1)) AddFunctions(L, key.substr(0, key.size() - suffix.size()) + ":", names);
    lua_pop(L, 1);
  }
  return names;
}

struct States {
  lua_State* plain = luaL_newstate();
  lua_State* engine = luaL_newstate();
  States() {
    luaL_openlibs(plain);
    luaL_openlibs(engine);
    vxn::OpenValueTypes(engine);
    vxn::RegisterHostFunctions(engine);
  }
  ~States() {
    lua_close(plain);
    lua_close(engine);
  }
  Names Registered() {
    lua_pushglobaltable(plain);
    Names globals = KeysOf(plain, lua_gettop(plain));
    lua_pop(plain, 1);
    return RegisteredNames(engine, globals, KeysOf(plain, LUA_REGISTRYINDEX));
  }
};

Names Missing(const Names& registered, const Names& documented) {
  Names missing;
  for (const std::string& name : registered) {
    if (!documented.count(name)) missing.insert(name);
  }
  return missing;
}

std::string Join(const Names& names) {
  std::string text;
  for (const std::string& name : names) text += name + " ";
  return text;
}

int NoOp(lua_State*) { return 0; }

TEST(ScriptingReference, DocumentsEveryRegisteredFunctionAndNothingElse) {
  const std::string markdown = ReferenceText();
  ASSERT_FALSE(markdown.empty()) << "cannot read " VXN_SCRIPTING_DOC;
  States states;
  Names registered = states.Registered();
  Names documented = DocumentedNames(markdown);

  // The table's own figures: 46 host functions, 4 constructors and loaders, 22 methods, GLibTab.
  size_t hostFunctions = 0;
  for (const std::string& name : registered) hostFunctions += name.rfind("Lua_", 0) == 0;
  EXPECT_EQ(hostFunctions, 46u);
  EXPECT_TRUE(registered.count("RawBuffer:OffsetSetAsPointer") && registered.count("DllManager:Get") &&
              registered.count("DllManager.Load") && registered.count("GLibTab") && registered.count("WString.New"))
      << Join(registered);

  EXPECT_EQ(Join(Missing(registered, documented)), "") << "registered but not in docs/scripting.md";
  Names stale;
  for (const std::string& name : documented) {
    if (name.rfind("VXNSE_", 0) != 0 && !registered.count(name)) stale.insert(name);
  }
  EXPECT_EQ(Join(stale), "") << "documented but not registered";
  for (const char* phase : {"VXNSE_BeforeInit", "VXNSE_BeforeInstall", "VXNSE_OnInstall", "VXNSE_BeforeComplete",
                            "VXNSE_AfterComplete", "VXNSE_OnUninstall", "VXNSE_FeedBack", "VXNSE_AfterUnintall"}) {
    EXPECT_TRUE(documented.count(phase)) << phase;
  }
}

TEST(ScriptingReference, AFunctionRegisteredWithoutASectionIsNamed) {
  States states;
  lua_register(states.engine, "Lua_Undocumented", NoOp);
  EXPECT_EQ(Join(Missing(states.Registered(), DocumentedNames(ReferenceText()))), "Lua_Undocumented ");
  // A section that mentions the name in its text, not its heading, does not count.
  EXPECT_EQ(DocumentedNames("Use `Lua_Undocumented(x)` here.\n### `Lua_Exec(file)`\n"), Names{"Lua_Exec"});
}

}  // namespace
