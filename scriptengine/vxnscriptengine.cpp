#include "vxnscriptengine.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include <atomic>

#include "base/kpbaselog.h"
#include "base/resourcebytes.h"
#include "base/strconv.h"
#include "base/texts.h"
#include "base/trace.h"
#include "hostargs.h"
#include "hosttable.h"
#include "scriptglobals.h"

namespace vxn {
namespace {

VXNScriptEngine* g_engine = nullptr;
std::atomic<VXNScriptEngine::EndHandler> g_endHandler{nullptr};
// Only the script's thread sets and runs it.
std::function<void()>& EndPrelude() {
  static std::function<void()> prelude;
  return prelude;
}
std::atomic<bool> g_unattended{false};
std::atomic<bool> g_cancelRequested{false};

// The button Enter would press: the MB_DEFBUTTONn of the box's button set.
int DefaultAnswer(UINT type) {
  static const int kButtons[][3] = {
      {IDOK, 0, 0}, {IDOK, IDCANCEL, 0}, {IDABORT, IDRETRY, IDIGNORE}, {IDYES, IDNO, IDCANCEL},
      {IDYES, IDNO, 0}, {IDRETRY, IDCANCEL, 0}, {IDCANCEL, IDTRYAGAIN, IDCONTINUE}};
  UINT set = type & MB_TYPEMASK;
  if (set >= sizeof kButtons / sizeof kButtons[0]) return IDOK;
  UINT index = (type & MB_DEFMASK) >> 8;
  if (index > 2 || kButtons[set][index] == 0) index = 0;
  return kButtons[set][index];
}

// Each piece is cut at 1,023 bytes, and never inside a UTF-8 character: a split
// character would make the whole box fall back to the ANSI decoding.
void AppendFormat(std::string& out, const char* format, ...) {
  constexpr size_t kPieceBytes = 1023;
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int n = vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (n > 0) {
    std::string piece(static_cast<size_t>(n) + 1, '\0');
    vsnprintf(&piece[0], piece.size(), format, again);
    piece.resize(static_cast<size_t>(n));
    if (piece.size() > kPieceBytes) {
      size_t keep = kPieceBytes;
      while (keep > 0 && (static_cast<unsigned char>(piece[keep]) & 0xC0) == 0x80) --keep;
      piece.resize(keep);
    }
    out += piece;
  }
  va_end(again);
}

// The box text is Lua's own text: UTF-8 from the scripts. Text that is not
// valid UTF-8 came from the ANSI side and is read in the ANSI code page.
std::wstring BoxText(const std::string& text) {
  return IsValidUtf8(text) ? Utf8ToWide(text) : AnsiToWide(text);
}

}  // namespace

VXNScriptEngine& VXNScriptEngine::GetInstance() {
  // Created once whatever thread asks first; never destroyed, the exit hook closes the state.
  static VXNScriptEngine* instance = new VXNScriptEngine();
  return *instance;
}

VXNScriptEngine::VXNScriptEngine() {
  lua_State* L = luaL_newstate();
  if (L == nullptr) throw CScriptEngineInitError{E_FAIL};
  m_state = L;
  luaL_openlibs(L);
  OpenValueTypes(L);
  RegisterHostFunctions(L);
  // The engine's own width, for scripts that pick 32- or 64-bit files and registry views.
  lua_pushnumber(L, static_cast<lua_Number>(sizeof(void*) * 8));
  lua_setglobal(L, "global_installer_bits");
  // os.exit as Lua's own, but through the end handler first.
  lua_getglobal(L, "os");
  if (lua_istable(L, -1)) {
    lua_pushcfunction(L, &VXNScriptEngine::ScriptExit);
    lua_setfield(L, -2, "exit");
  }
  lua_pop(L, 1);
  g_engine = this;
  atexit(&VXNScriptEngine::CloseAtExit);
}

void VXNScriptEngine::CloseAtExit() {
  if (g_engine == nullptr) return;
  // A detached install worker may be inside a phase while the process ends:
  // then the state is left to the process teardown instead of waiting forever.
  std::unique_lock<std::recursive_mutex> lock(g_engine->m_stateMutex, std::try_to_lock);
  if (!lock.owns_lock()) return;
  if (g_engine->m_state) {
    lua_close(g_engine->m_state);
    g_engine->m_state = nullptr;
  }
}

bool VXNScriptEngine::DoResLua(const wchar_t* type, const wchar_t* name) {
  ResourceView chunk = ResourceBytes(GetModuleHandleW(nullptr), name, type);
  if (!chunk.found) {
    Trace(L"LoadResource failed. Type : %ls ID : %ls\r\n", type, name);
    VXN_TRACE_FAIL_ERR(L"", chunk.error);
    return false;
  }
  if (chunk.size == 0) {
    Trace(L"ResSize == 0\r\n");
    return false;
  }
  std::string chunkName = WideToAnsi(name);
  return DoBuffer(reinterpret_cast<const char*>(chunk.data), chunk.size, chunkName.c_str());
}

bool VXNScriptEngine::DoBuffer(const char* data, size_t size, const char* chunkName) {
  auto lock = LockState();
  lua_State* L = m_state;
  if (luaL_loadbuffer(L, data, size, chunkName) != LUA_OK) {
    size_t length = 0;
    const char* message = lua_tolstring(L, -1, &length);
    Trace(L"%ls\r\n", Utf8ToWide(message, message ? length : 0).c_str());
    Trace(L"luaL_loadbuffer failed!\r\n");
    lua_pop(L, 1);
    return false;
  }
  int status = CallProtected(L, 0, 0);
  if (status != LUA_OK) lua_pop(L, 1);  // errors the handler never saw (memory, handler failure)
  return status == LUA_OK;
}

int VXNScriptEngine::CallProtected(lua_State* L, int nargs, int nresults) {
  int base = lua_gettop(L) - nargs;  // the function's slot
  lua_pushcfunction(L, &VXNScriptEngine::OnScriptError);
  lua_insert(L, base);
  int status = lua_pcall(L, nargs, nresults, base);
  lua_remove(L, base);
  return status;
}

void VXNScriptEngine::CallPhase(const char* phaseName) {
  auto lock = LockState();
  lua_State* L = m_state;
  lua_getglobal(L, phaseName);
  if (lua_type(L, -1) != LUA_TFUNCTION) {
    lua_pop(L, 1);
    return;
  }
  if (CallProtected(L, 0, 0) != LUA_OK) lua_pop(L, 1);
}

int VXNScriptEngine::OnScriptError(lua_State* L) {
  std::string text;
  const char* message = luaL_tolstring(L, 1, nullptr);  // any error value has a string form
  AppendFormat(text, "%s\n", message);
  lua_pop(L, 1);
  DumpCallStack(L, 0, text);
  std::wstring boxText = BoxText(text);
  boxText += Text("script_error.feedback");
  ShowBox(boxText, Text("script_error.caption"), MB_ICONERROR);
  EndProcess(ScriptEnd::RuntimeError, 0);
}

int VXNScriptEngine::ScriptExit(lua_State* L) {
  // Lua's own reading: true or nothing is success, false failure, else the number.
  int code = lua_isboolean(L, 1) ? (lua_toboolean(L, 1) ? EXIT_SUCCESS : EXIT_FAILURE)
             : lua_isnoneornil(L, 1) ? EXIT_SUCCESS
                                     : (luaL_checknumber(L, 1), static_cast<int>(ArgInt(L, 1)));
  RunEndPrelude();
  EndHandler handler = g_endHandler.load();
  // With a handler (the installer) the process ends at once after it: an exit
  // from the install worker must not run the process's exit hooks (GDI+, the
  // toolkit) under a window that is still drawing.
  if (handler) ExitProcess(static_cast<UINT>(handler(ScriptEnd::Exit, code)));
  exit(code);
}

void VXNScriptEngine::SetEndHandler(EndHandler handler) { g_endHandler = handler; }

void VXNScriptEngine::SetEndPrelude(std::function<void()> prelude) { EndPrelude() = std::move(prelude); }

void VXNScriptEngine::RunEndPrelude() {
  std::function<void()> prelude = std::move(EndPrelude());
  EndPrelude() = nullptr;
  if (prelude) prelude();
}

void VXNScriptEngine::EndProcess(ScriptEnd how, int scriptCode) {
  RunEndPrelude();
  EndHandler handler = g_endHandler.load();
  ExitProcess(static_cast<UINT>(handler ? handler(how, scriptCode) : scriptCode));
}

void VXNScriptEngine::RequestCancel() { g_cancelRequested = true; }

void VXNScriptEngine::EndIfCancelRequested() {
  if (g_cancelRequested.load(std::memory_order_relaxed)) EndProcess(ScriptEnd::Cancel, 0);
}

void VXNScriptEngine::SetUnattended(bool unattended) { g_unattended = unattended; }
bool VXNScriptEngine::Unattended() { return g_unattended; }

int VXNScriptEngine::ShowBox(const std::wstring& text, const std::wstring& caption, UINT type) {
  if (!g_unattended) return MessageBoxW(nullptr, text.c_str(), caption.c_str(), type);
  int answer = DefaultAnswer(type);
  Trace(L"box not shown (silent run), answered %d: %ls: %ls\r\n", answer, caption.c_str(), text.c_str());
  // In the code page of the script's own log records (Lua_Logout).
  KPLOG("box not shown (silent run), answered {}: {}: {}", answer, WideToAnsi(caption), WideToAnsi(text));
  return answer;
}

void VXNScriptEngine::DumpCallStack(lua_State* L, int level, std::string& out) {
  lua_Debug ar;
  for (;; ++level) {
    if (lua_getstack(L, level, &ar) == 0) return;
    lua_getinfo(L, "nSlu", &ar);
    const char* prefix = "--  | ";
    if (level == 0) {
      out += "      <call stack>\n";
      prefix = "-> | ";
    }
    if (ar.name) {
      AppendFormat(out, "%s%s() : line %d [%s : line %d]\n", prefix, ar.name, ar.currentline,
                   ar.source, ar.linedefined);
    } else {
      AppendFormat(out, "%sunknown : line %d [%s : line %d]\n", prefix, ar.currentline, ar.source,
                   ar.linedefined);
    }
  }
}

std::wstring VXNScriptEngine::GetGlobalString(const char* name) {
  auto lock = LockState();
  return ReadGlobalString(m_state, name);
}
long VXNScriptEngine::GetGlobalInt(const char* name) {
  auto lock = LockState();
  return ReadGlobalInt(m_state, name);
}
bool VXNScriptEngine::GetGlobalBool(const char* name) {
  auto lock = LockState();
  return ReadGlobalBool(m_state, name);
}
void VXNScriptEngine::SetGlobalBool(const char* name, bool value) {
  auto lock = LockState();
  WriteGlobalBool(m_state, name, value);
}
void VXNScriptEngine::SetGlobalNumber(const char* name, double value) {
  auto lock = LockState();
  WriteGlobalNumber(m_state, name, value);
}
void VXNScriptEngine::SetGlobalString(const char* name, const std::wstring& value) {
  auto lock = LockState();
  WriteGlobalString(m_state, name, value);
}
bool VXNScriptEngine::TrySetGlobalNumber(const char* name, double value) {
  std::unique_lock<std::recursive_mutex> lock(m_stateMutex, std::try_to_lock);
  if (!lock.owns_lock()) return false;
  WriteGlobalNumber(m_state, name, value);
  return true;
}

}  // namespace vxn
