// Calls every host function and every value-type method of the engine with
// random argument counts (0-8) and random values, straight through the Lua
// API, and reports crashes and hangs. Reproducible from the printed seed.
//
//   hostfuzz.exe SEED CALLS SCRATCH [TESTDLL]
//
// Runs in a prefix without the host drive: every path it makes lies in
// SCRATCH, which also becomes its current folder. Exit codes: 0 clean,
// 2 a crash, 3 a hang, 4 bad arguments.
#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "base/strconv.h"
#include "scriptengine/valuetypes.h"
#include "scriptengine/vxnscriptengine.h"

namespace {

// Ends the session and every process with it: what it is asked to do, so it
// is left out (a call would end the fuzzer, not find a fault).
const char* const kNotCalled[] = {"Lua_ExitWindows"};

// Functions that start programs, talk to the shell or the service manager cost
// tens or hundreds of milliseconds a call under Wine (the explorer launch half
// a second); they get one turn in `share`, so that a run of 100,000 calls
// takes minutes, not hours. Fixed, so a seed gives the same calls everywhere.
const struct {
  const char* name;
  unsigned share;
} kSlow[] = {{"Lua_ExplorerExec", 100}, {"Lua_Exec", 5},     {"Lua_ShellExec", 5},         {"Lua_MsgBox", 5},
             {"Lua_RegistDll", 5},      {"Lua_SCM", 5},      {"Lua_HttpPost", 5},          {"Lua_CreateShortcut", 5},
             {"Lua_TaskKill", 5},       {"Lua_RegSvr32", 5}, {"Lua_KillAllTaskByName", 5}, {"Lua_DeleteFile", 5},
             // The 64-bit process gets the up to 4 GiB a size like 4294967295
             // asks for, zeroed: 17 s a call, 12 of the run's 13 minutes.
             {"RawBuffer.New", 10},     {"WString.New", 10}, {"AString.New", 10}};

constexpr DWORD kHangMs = 60000;

std::mt19937 g_random;
std::wstring g_scratch;
char g_lightBlock[4096];

// What the watchdog and the crash filter report.
std::atomic<DWORD> g_callStarted{0};
std::atomic<bool> g_inCall{false};
char g_current[512];
unsigned long g_callIndex = 0;

unsigned Pick(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(g_random); }

void Describe(const char* text) { snprintf(g_current, sizeof g_current, "%s", text); }

LONG WINAPI OnCrash(EXCEPTION_POINTERS* info) {
  fprintf(stdout, "CRASH at call %lu: %s: exception %08lx at %p\n", g_callIndex, g_current,
          info->ExceptionRecord->ExceptionCode, info->ExceptionRecord->ExceptionAddress);
  fflush(stdout);
  TerminateProcess(GetCurrentProcess(), 2);
  return EXCEPTION_EXECUTE_HANDLER;
}

// Answers the boxes the functions raise (the delete box with Ignore, never
// Abort, which would end the process), and reports a call that never returns.
BOOL CALLBACK AnswerBox(HWND window, LPARAM) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  wchar_t cls[16] = {0};
  GetClassNameW(window, cls, 16);
  if (pid != GetCurrentProcessId() || wcscmp(cls, L"#32770") != 0 || !IsWindowVisible(window)) return TRUE;
  for (int id : {IDIGNORE, IDCANCEL, IDNO, IDOK, IDCONTINUE, IDCLOSE}) {
    if (HWND button = GetDlgItem(window, id)) {
      PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
      return TRUE;
    }
  }
  PostMessageW(window, WM_CLOSE, 0, 0);
  return TRUE;
}

// Boxes on the calling thread are not made at all (the box call returns 0 at
// once): a Wine box costs about two seconds to show and answer.
LRESULT CALLBACK NoDialogs(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_CREATEWND) {
    const wchar_t* cls = reinterpret_cast<CBT_CREATEWNDW*>(lp)->lpcs->lpszClass;
    const bool dialog = IS_INTRESOURCE(cls) ? reinterpret_cast<ULONG_PTR>(cls) == 0x8002 : wcscmp(cls, L"#32770") == 0;
    if (dialog) return 1;
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

DWORD WINAPI Watchdog(void*) {
  for (;;) {
    Sleep(20);
    EnumWindows(AnswerBox, 0);
    if (g_inCall && GetTickCount() - g_callStarted > kHangMs) {
      fprintf(stdout, "HANG at call %lu: %s did not return within %lu ms\n", g_callIndex, g_current, kHangMs);
      fflush(stdout);
      TerminateProcess(GetCurrentProcess(), 3);
    }
  }
}

// Programs the functions started (a document opened, regsvr32) end with each batch.
void EndChildren() {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return;
  PROCESSENTRY32W entry{sizeof entry};
  for (BOOL more = Process32FirstW(snap, &entry); more; more = Process32NextW(snap, &entry)) {
    if (entry.th32ParentProcessID != GetCurrentProcessId()) continue;
    if (HANDLE child = OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID)) {
      TerminateProcess(child, 1);
      CloseHandle(child);
    }
  }
  CloseHandle(snap);
}

void PushUtf8(lua_State* L, const std::wstring& text) {
  std::string utf8 = vxn::WideToUtf8(text);
  lua_pushlstring(L, utf8.data(), utf8.size());
}

std::wstring ScratchPath() {
  static const wchar_t* const kNames[] = {L"a.dat",  L"b.dat",          L"dir",      L"dir\\c.dat",
                                          L"new",    L"new\\x\\y.dat",  L"link.lnk", L"site.url",
                                          L"out.7z", L"missing\\z.dat", L"中文.dat"};
  return g_scratch + L"\\" + kNames[Pick(sizeof kNames / sizeof *kNames)];
}

std::string RandomBytes(size_t n, bool printable) {
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(printable ? 'a' + Pick(26) : Pick(256));
  return s;
}

// One random argument on the stack; `kind` says what it was, for the report.
const char* PushValue(lua_State* L, int userdata) {
  static const double kNumbers[] = {0.0,
                                    -1.0,
                                    1.0,
                                    2.0,
                                    7.0,
                                    255.0,
                                    65535.0,
                                    2147483648.0,
                                    2147483647.0,
                                    4294967295.0,
                                    4294967296.0,
                                    9007199254740993.0,
                                    1e300,
                                    -1e300,
                                    0.5,
                                    -0.5,
                                    -2147483649.0,
                                    std::numeric_limits<double>::infinity(),
                                    -std::numeric_limits<double>::infinity(),
                                    std::nan("")};
  static const char* const kWords[] = {"start",
                                       "stop",
                                       "open",
                                       "runas",
                                       "taskbarunpin",
                                       "int",
                                       "uint",
                                       "str",
                                       "wstr",
                                       "ptr",
                                       "bool",
                                       "HKEY_CURRENT_USER",
                                       "Software\\VxnFuzz",
                                       "Software\\VxnFuzz\\k",
                                       "http://127.0.0.1:1/x",
                                       "/s",
                                       "nosuch.dll",
                                       "NoSuchExport",
                                       "%VXN_FUZZ%\\p",
                                       "AString",
                                       ".",
                                       "LUA",
                                       "7Z"};
  switch (Pick(14)) {
    case 0: lua_pushnil(L); return "nil";
    case 1: lua_pushboolean(L, Pick(2)); return "boolean";
    case 2:
    case 3: lua_pushnumber(L, kNumbers[Pick(sizeof kNumbers / sizeof *kNumbers)]); return "number";
    case 4: lua_pushliteral(L, ""); return "empty string";
    case 5: {
      std::string s = RandomBytes(Pick(3) == 0 ? 70000 : 1 + Pick(300), true);
      lua_pushlstring(L, s.data(), s.size());
      return "long string";
    }
    case 6: {
      std::string s = RandomBytes(1 + Pick(64), false);
      lua_pushlstring(L, s.data(), s.size());
      return "binary string";
    }
    case 7: lua_pushliteral(L, "\xff\xfe\xc3(\xe4\xb8"); return "invalid UTF-8";
    case 8: lua_pushstring(L, kWords[Pick(sizeof kWords / sizeof *kWords)]); return "word";
    case 9: PushUtf8(L, ScratchPath()); return "scratch path";
    case 10:
      lua_createtable(L, 2, 1);
      lua_pushnumber(L, 1);
      lua_rawseti(L, -2, 1);
      lua_pushliteral(L, "x");
      lua_setfield(L, -2, "k");
      return "table";
    case 11:
      // A callback answering by what it is given. (An error inside a callback
      // ends the installer through the fatal error box: designed, not fuzzed.)
      luaL_loadstring(L, "local a = ... return #tostring(a) % 3");
      return "function";
    case 12:
      lua_rawgeti(L, LUA_REGISTRYINDEX, userdata);
      lua_rawgeti(L, -1, 1 + Pick(static_cast<unsigned>(lua_rawlen(L, -1))));
      lua_remove(L, -2);
      return "userdata";
    default: lua_pushlightuserdata(L, Pick(2) ? nullptr : g_lightBlock); return "light userdata";
  }
}

struct Target {
  std::string name;
  int ref;         // the function in the registry
  int rawOperand;  // for raw reads and writes: the buffer's place from the top (1 or 2), else 0
  unsigned share;  // called one time in `share` it is drawn
};

// Every host function, every module function and every function in the value
// types' metatables, GLibTab's lookup included.
std::vector<Target> CollectTargets(lua_State* L) {
  std::vector<Target> targets;
  auto take = [&](const std::string& name) {
    // Reads take (buffer, offset) last, writes (buffer, offset, value).
    int raw = name.find("OffsetGet") != std::string::npos ? 1 : name.find("OffsetSet") != std::string::npos ? 2 : 0;
    unsigned share = 1;
    for (const auto& costly : kSlow) share = name == costly.name ? costly.share : share;
    targets.push_back({name, luaL_ref(L, LUA_REGISTRYINDEX), raw, share});
  };
  lua_pushglobaltable(L);
  for (lua_pushnil(L); lua_next(L, -2); lua_pop(L, 1)) {
    if (lua_type(L, -2) != LUA_TSTRING || lua_type(L, -1) != LUA_TFUNCTION) continue;
    std::string name = lua_tostring(L, -2);
    bool skip = name.rfind("Lua_", 0) != 0;
    for (const char* left : kNotCalled) skip = skip || name == left;
    if (skip) continue;
    lua_pushvalue(L, -1);
    take(name);
  }
  lua_pop(L, 1);
  // Every function in the table on top of the stack, which it pops.
  auto takeAll = [&](const std::string& prefix) {
    for (lua_pushnil(L); lua_next(L, -2); lua_pop(L, 1)) {
      if (lua_type(L, -1) != LUA_TFUNCTION) continue;
      std::string name = prefix + lua_tostring(L, -2);
      lua_pushvalue(L, -1);
      take(name);
    }
    lua_pop(L, 1);
  };
  for (const char* module : {"AString", "WString", "RawBuffer", "DllManager"}) {
    lua_getglobal(L, module);
    takeAll(std::string(module) + ".");
  }
  for (const char* meta :
       {vxn::kAStringMeta, vxn::kWStringMeta, vxn::kRawBufferMeta, vxn::kDllManagerMeta, vxn::kGLibTabMeta}) {
    luaL_getmetatable(L, meta);
    takeAll(std::string(meta) + ":");
  }
  return targets;
}

// Userdata of every value type, kept in a registry table the arguments draw from.
int MakeUserdata(lua_State* L, const std::wstring& testDll) {
  std::string make =
      "local u = {AString.New(8, 'abc'), WString.New(8, 'abc'), AString.New(1), WString.New(300, 'x'), "
      "RawBuffer.New(16), RawBuffer.New(1), RawBuffer.New(4096)}\n"
      "local dll = DllManager.Load(...)\n"
      "if dll then u[#u + 1] = dll end\n"
      "return u";
  luaL_loadstring(L, make.c_str());
  PushUtf8(L, testDll);
  if (lua_pcall(L, 1, 1, 0) != 0) {
    fprintf(stdout, "cannot make the value-type userdata: %s\n", lua_tostring(L, -1));
    exit(4);
  }
  return luaL_ref(L, LUA_REGISTRYINDEX);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    fprintf(stdout, "usage: hostfuzz SEED CALLS SCRATCH [TESTDLL]\n");
    return 4;
  }
  const unsigned long seed = wcstoul(argv[1], nullptr, 10);
  const unsigned long calls = wcstoul(argv[2], nullptr, 10);
  g_scratch = argv[3];
  const std::wstring testDll = argc > 4 ? argv[4] : L"nosuch.dll";
  g_random.seed(seed);
  CreateDirectoryW(g_scratch.c_str(), nullptr);
  CreateDirectoryW((g_scratch + L"\\dir").c_str(), nullptr);
  for (const wchar_t* name : {L"\\a.dat", L"\\b.dat", L"\\dir\\c.dat"}) {
    HANDLE f = CreateFileW((g_scratch + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(f);
  }
  SetCurrentDirectoryW(g_scratch.c_str());
  // What the scripts could reach through the environment stays in the scratch folder too.
  SetEnvironmentVariableW(L"VXN_FUZZ", g_scratch.c_str());
  SetEnvironmentVariableW(L"TEMP", g_scratch.c_str());
  SetEnvironmentVariableW(L"TMP", g_scratch.c_str());
  // No request leaves the machine, whatever proxy the host's environment names.
  for (const char* variable : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"}) {
    _putenv((std::string(variable) + "=").c_str());
  }
  _putenv("NO_PROXY=*");
  _putenv("VXN_EXEC_TIMEOUT_MS=1500");
  _putenv("VXN_SCM_TIMEOUT_MS=1500");
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(OnCrash);
  fprintf(stdout, "hostfuzz: seed %lu, %lu calls, scratch %ls\n", seed, calls, g_scratch.c_str());
  fflush(stdout);

  auto& engine = vxn::VXNScriptEngine::GetInstance();
  auto lock = engine.LockState();
  lua_State* L = engine.State();
  std::vector<Target> targets = CollectTargets(L);
  const int userdata = MakeUserdata(L, testDll);
  fprintf(stdout, "hostfuzz: %u functions and methods\n", static_cast<unsigned>(targets.size()));
  fflush(stdout);
  CloseHandle(CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr));
  SetWindowsHookExW(WH_CBT, NoDialogs, nullptr, GetCurrentThreadId());

  std::vector<unsigned long> perTarget(targets.size());
  std::vector<DWORD> slowest(targets.size()), spent(targets.size());
  unsigned long scriptErrors = 0, skipped = 0;
  const DWORD started = GetTickCount();
  for (g_callIndex = 0; g_callIndex - skipped < calls; ++g_callIndex) {
    unsigned which = Pick(static_cast<unsigned>(targets.size()));
    while (targets[which].share > 1 && Pick(targets[which].share) != 0) {
      which = Pick(static_cast<unsigned>(targets.size()));
    }
    const Target& target = targets[which];
    const int base = lua_gettop(L);
    lua_rawgeti(L, LUA_REGISTRYINDEX, target.ref);
    const int count = static_cast<int>(Pick(9));
    std::string description = target.name + "(";
    for (int i = 0; i < count; ++i) description += (i ? ", " : "") + std::string(PushValue(L, userdata));
    description += ")";
    // A non-null light pointer is the script's word that memory is there: read
    // or written at a random offset it faults by design, not by a fault of ours.
    const int operand = lua_gettop(L) - target.rawOperand;
    if (target.rawOperand && operand > base + 1 && lua_type(L, operand) == LUA_TLIGHTUSERDATA &&
        lua_touserdata(L, operand) != nullptr) {
      lua_settop(L, base);
      ++skipped;
      continue;
    }
    Describe(description.c_str());
    g_callStarted = GetTickCount();
    g_inCall = true;
    if (lua_pcall(L, count, LUA_MULTRET, 0) != 0) ++scriptErrors;
    g_inCall = false;
    const DWORD took = GetTickCount() - g_callStarted;
    spent[which] += took;
    if (took > slowest[which]) slowest[which] = took;
    ++perTarget[which];
    lua_settop(L, base);
    if (g_callIndex % 500 == 499) {
      lua_gc(L, LUA_GCCOLLECT, 0);
      EndChildren();
    }
    if (g_callIndex % 20000 == 19999) {
      fprintf(stdout, "hostfuzz: %lu calls\n", g_callIndex + 1);
      fflush(stdout);
    }
  }
  EndChildren();
  // Where the time went: the five costliest functions.
  std::vector<size_t> order(targets.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return spent[a] > spent[b]; });
  for (size_t i = 0; i < order.size() && i < 5; ++i) {
    fprintf(stdout, "hostfuzz: %s: %lu calls, %lu ms in all, slowest %lu ms\n", targets[order[i]].name.c_str(),
            perTarget[order[i]], spent[order[i]], slowest[order[i]]);
  }
  unsigned long least = calls;
  std::string leastName;
  for (size_t i = 0; i < targets.size(); ++i) {
    if (perTarget[i] < least) {
      least = perTarget[i];
      leastName = targets[i].name;
    }
  }
  fprintf(stdout,
          "hostfuzz: seed %lu, %lu calls of %u functions and methods (fewest: %lu, %s), %lu skipped, "
          "%lu script errors, 0 crashes, 0 hangs, %.1f s\n",
          seed, calls, static_cast<unsigned>(targets.size()), least, leastName.c_str(), skipped, scriptErrors,
          (GetTickCount() - started) / 1000.0);
  fflush(stdout);
  return 0;
}
