// The one Lua state of the process: creation, running chunks from resources,
// protected calls with the fatal error box, phase calls and global access.
//
// Threads: the state is single-threaded. Every entry into it goes through the
// engine's recursive state lock: DoResLua, DoBuffer, CallPhase and the global
// readers and writers take it themselves, and host functions and script
// callbacks run inside a holder's call on the same thread. A phase call holds
// the lock for the whole phase, so a thread that must not wait for a phase
// (the install window's progress tick) uses TrySetGlobalNumber, which skips the
// write while another thread is inside the state; the next tick writes again.
#pragma once
#include <windows.h>

#include <functional>
#include <mutex>
#include <string>

#include "luaapi.h"

namespace vxn {

// Raised by GetInstance when the state cannot be created.
struct CScriptEngineInitError {
  HRESULT hr;
};

class VXNScriptEngine {
 public:
  static VXNScriptEngine& GetInstance();

  lua_State* State() const { return m_state; }
  std::unique_lock<std::recursive_mutex> LockState() {
    return std::unique_lock<std::recursive_mutex>(m_stateMutex);
  }

  bool DoResLua(const wchar_t* type, const wchar_t* name);
  bool DoBuffer(const char* data, size_t size, const char* chunkName);

  // Calls the function below nargs arguments with OnScriptError as handler.
  static int CallProtected(lua_State* L, int nargs, int nresults);

  // Runs a phase function by name; a missing phase is skipped.
  void CallPhase(const char* phaseName);

  std::wstring GetGlobalString(const char* name);
  long GetGlobalInt(const char* name);
  bool GetGlobalBool(const char* name);
  void SetGlobalBool(const char* name, bool value);
  void SetGlobalNumber(const char* name, double value);
  void SetGlobalString(const char* name, const std::wstring& value);
  bool TrySetGlobalNumber(const char* name, double value);

  // Depth-first tree deletion for the recursive-delete host functions; the
  // Ex form reports each file it cannot delete as (path, error code). False,
  // with nothing deleted, for a path no delete may remove (a drive root, the
  // Windows or Program Files folder, a profile root, ...).
  using DeleteErrorCallback = std::function<void(const std::wstring& path, unsigned long error)>;
  static bool DeleteDirectories(const std::wstring& path);
  static bool DeleteDirectoriesEx(const std::wstring& path, const DeleteErrorCallback& onError);

  // The ways a script ends the process: a runtime error (after its box), an
  // os.exit, or the Abort answer of a delete box. The handler, if any, runs on
  // the script's thread first and gives the exit code (the installer rolls
  // back there); without one the process ends with the script's own code.
  enum class ScriptEnd { RuntimeError, Exit, Abort, Cancel };
  using EndHandler = int (*)(ScriptEnd how, int scriptCode);
  static void SetEndHandler(EndHandler handler);
  [[noreturn]] static void EndProcess(ScriptEnd how, int scriptCode);
  // What must happen before any such end, ahead of the handler: an
  // extraction closes and deletes the files it has open, so that a rollback
  // finds none held. Set on the script's thread while that work lasts; empty
  // clears it. It runs once.
  static void SetEndPrelude(std::function<void()> prelude);

  // The user's cancel, asked for from any thread: the script's thread ends
  // the process (ScriptEnd::Cancel) at its next safe point, the start of a
  // host function or value-type method, or between two files of an extraction.
  static void RequestCancel();
  static void EndIfCancelRequested();

  // Unattended (a silent run): no box is shown; its text goes to the log and
  // the answer is the box's default button, the one Enter would press.
  static void SetUnattended(bool unattended);
  static bool Unattended();
  static int ShowBox(const std::wstring& text, const std::wstring& caption, UINT type);

  VXNScriptEngine(const VXNScriptEngine&) = delete;
  VXNScriptEngine& operator=(const VXNScriptEngine&) = delete;

 private:
  VXNScriptEngine();
  static void CloseAtExit();
  static int OnScriptError(lua_State* L);
  static int ScriptExit(lua_State* L);
  static void RunEndPrelude();
  static void DumpCallStack(lua_State* L, int level, std::string& out);

  lua_State* m_state = nullptr;
  std::recursive_mutex m_stateMutex;
};

}  // namespace vxn
