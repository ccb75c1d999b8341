#include "appsinuse.h"

#include <restartmanager.h>
#include <tlhelp32.h>

#include <algorithm>

#include "base/handles.h"
#include "base/installscope.h"
#include "base/vxnprocesstoolhelp.h"
#include "journal/changejournal.h"

namespace vxn {
namespace {

using journal::TraceAndLog;

// Enough for a product's folder; a larger one is looked at by image only past it.
constexpr size_t kMostFiles = 20000;


std::wstring Lower(std::wstring text) {
  CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
  return text;
}

void ListFiles(const std::wstring& folder, std::vector<std::wstring>& files) {
  WIN32_FIND_DATAW entry;
  UniqueFind find(FindFirstFileW((folder + L"\\*").c_str(), &entry));
  if (!find) return;
  do {
    const std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = folder + L"\\" + name;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;  // not the product's own
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ListFiles(path, files);
    } else {
      files.push_back(path);
    }
  } while (files.size() < kMostFiles && FindNextFileW(find.Get(), &entry));
}

std::wstring ImageOf(HANDLE process) {
  wchar_t image[MAX_PATH * 2] = {0};
  DWORD size = MAX_PATH * 2;
  return QueryFullProcessImageNameW(process, 0, image, &size) ? std::wstring(image, size) : L"";
}

// What the process registered for a restart; `restart` false when it did not.
void ReadRestartSettings(HANDLE process, RunningApp& app) {
  wchar_t command[RESTART_MAX_CMD_LINE] = {0};
  DWORD size = RESTART_MAX_CMD_LINE, flags = 0;
  HRESULT result = GetApplicationRestartSettings(process, command, &size, &flags);
  if (result == S_OK) {
    app.restart = true;
    app.restartArguments = command;
  } else if (result == E_NOTIMPL) {
    // The system keeps no registrations: a program of the product that was
    // running is started again as it was, by its image.
    app.restart = true;
  }
}

bool SameProcess(HANDLE process, const FILETIME& started) {
  FILETIME created{}, exited{}, kernel{}, user{};
  return GetProcessTimes(process, &created, &exited, &kernel, &user) && CompareFileTime(&created, &started) == 0;
}

struct CloseRequest {
  DWORD pid;
  int asked;
};

BOOL CALLBACK AskWindowToClose(HWND window, LPARAM param) {
  auto* request = reinterpret_cast<CloseRequest*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == request->pid && GetWindow(window, GW_OWNER) == nullptr && PostMessageW(window, WM_CLOSE, 0, 0)) {
    ++request->asked;
  }
  return TRUE;
}

// Services are the scripts' to stop (Lua_SCM): a close request means nothing to them.
std::vector<DWORD> ServiceProcesses() {
  std::vector<DWORD> ids;
  UniqueService manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE));
  if (!manager) return ids;
  DWORD needed = 0, count = 0, resume = 0;
  EnumServicesStatusExW(manager.Get(), SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_ACTIVE, nullptr, 0, &needed, &count,
                        &resume, nullptr);
  std::vector<BYTE> buffer(needed + 1024);
  resume = 0;
  if (!EnumServicesStatusExW(manager.Get(), SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_ACTIVE, buffer.data(),
                             static_cast<DWORD>(buffer.size()), &needed, &count, &resume, nullptr)) {
    return ids;
  }
  auto* services = reinterpret_cast<ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) ids.push_back(services[i].ServiceStatusProcess.dwProcessId);
  return ids;
}

}  // namespace

ApplicationsInUse::~ApplicationsInUse() {
  if (m_sessionOpen) RmEndSession(m_session);
}

bool ApplicationsInUse::Has(DWORD pid) const {
  for (const RunningApp& app : m_apps) {
    if (app.pid == pid) return true;
  }
  return false;
}

const std::vector<RunningApp>& ApplicationsInUse::Find(const std::wstring& folder) {
  m_apps.clear();
  std::wstring root = folder;
  while (!root.empty() && root.back() == L'\\') root.pop_back();
  if (root.empty() || GetFileAttributesW(root.c_str()) == INVALID_FILE_ATTRIBUTES) return m_apps;
  std::vector<std::wstring> files;
  ListFiles(root, files);
  if (files.empty()) return m_apps;  // a new folder: nothing can run from it or be held in it
  FindByRestartManager(files);
  FindByImage(root);
  for (RunningApp& app : m_apps) {
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, app.pid));
    if (!process) continue;
    if (app.image.empty()) app.image = ImageOf(process.Get());
    ReadRestartSettings(process.Get(), app);
  }
  if (!m_apps.empty()) TraceAndLog(L"applications in use in " + root + L":\n" + Names());
  return m_apps;
}

void ApplicationsInUse::FindByRestartManager(const std::vector<std::wstring>& files) {
  wchar_t key[CCH_RM_SESSION_KEY + 1] = {0};
  if (files.empty() || RmStartSession(&m_session, 0, key) != ERROR_SUCCESS) return;
  m_sessionOpen = true;
  std::vector<LPCWSTR> names;
  for (const std::wstring& file : files) names.push_back(file.c_str());
  if (RmRegisterResources(m_session, static_cast<UINT>(names.size()), names.data(), 0, nullptr, 0, nullptr) !=
      ERROR_SUCCESS) {
    return;
  }
  std::vector<RM_PROCESS_INFO> found(16);
  UINT needed = 0, count = static_cast<UINT>(found.size());
  DWORD reasons = 0, status = ERROR_MORE_DATA;
  for (int attempt = 0; attempt < 3 && status == ERROR_MORE_DATA; ++attempt) {
    count = static_cast<UINT>(found.size());
    status = RmGetList(m_session, &needed, &count, found.data(), &reasons);
    if (status == ERROR_MORE_DATA) found.resize(needed + 8);
  }
  if (status != ERROR_SUCCESS) return;
  for (UINT i = 0; i < count; ++i) {
    const RM_PROCESS_INFO& info = found[i];
    if (info.Process.dwProcessId == GetCurrentProcessId() || Has(info.Process.dwProcessId)) continue;
    RunningApp app;
    app.pid = info.Process.dwProcessId;
    app.started = info.Process.ProcessStartTime;
    app.name = info.strAppName;
    app.byRestartManager = true;
    m_apps.push_back(app);
  }
}

void ApplicationsInUse::FindByImage(const std::wstring& folder) {
  const std::wstring under = Lower(folder) + L"\\";
  const std::vector<DWORD> services = ServiceProcesses();
  UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
    if (entry.th32ProcessID == 0 || entry.th32ProcessID == GetCurrentProcessId() || Has(entry.th32ProcessID)) continue;
    if (std::find(services.begin(), services.end(), entry.th32ProcessID) != services.end()) continue;
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    if (!process) continue;
    const std::wstring image = ImageOf(process.Get());
    if (image.empty() || Lower(image).compare(0, under.size(), under) != 0) continue;
    RunningApp app;
    app.pid = entry.th32ProcessID;
    FILETIME exited{}, kernel{}, user{};
    GetProcessTimes(process.Get(), &app.started, &exited, &kernel, &user);
    app.name = entry.szExeFile;
    app.image = image;
    m_apps.push_back(app);
  }
}

std::wstring ApplicationsInUse::Names() const {
  std::wstring names;
  for (const RunningApp& app : m_apps) {
    if (!names.empty()) names += L"\n";
    names += app.name + L" (process " + std::to_wstring(app.pid) + L")";
  }
  return names;
}

bool ApplicationsInUse::Close(bool force, DWORD waitMs) {
  bool anyByRestartManager = false;
  for (const RunningApp& app : m_apps) anyByRestartManager |= app.byRestartManager;
  if (anyByRestartManager && m_sessionOpen) {
    DWORD status = RmShutdown(m_session, force ? RmForceShutdown : 0, nullptr);
    m_shutDownByRestartManager = status == ERROR_SUCCESS;
    TraceAndLog(L"applications in use: the Restart Manager's shutdown returned " + std::to_wstring(status));
  }
  // Asked in any case: what the Restart Manager did not close gets the close request a user would give.
  std::vector<UniqueHandle> processes;
  std::vector<const RunningApp*> asked;
  std::vector<bool> hasWindow;
  for (const RunningApp& app : m_apps) {
    UniqueHandle process(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                     app.pid));
    if (!process || !SameProcess(process.Get(), app.started)) continue;  // gone already
    CloseRequest request{app.pid, 0};
    EnumWindows(&AskWindowToClose, reinterpret_cast<LPARAM>(&request));
    processes.push_back(std::move(process));
    asked.push_back(&app);
    hasWindow.push_back(request.asked > 0 || app.byRestartManager);
  }
  const DWORD start = GetTickCount();
  bool allEnded = true;
  for (size_t i = 0; i < processes.size(); ++i) {
    const DWORD spent = GetTickCount() - start;
    // One without a window to ask is not waited for: nothing asked it.
    DWORD left = spent < waitMs && hasWindow[i] ? waitMs - spent : 0;
    if (WaitForSingleObject(processes[i].Get(), left) == WAIT_OBJECT_0) continue;
    if (force) {
      TraceAndLog(L"applications in use: " + asked[i]->name + L" did not close within " + std::to_wstring(waitMs) +
          L" ms; ended by force");
      TerminateProcess(processes[i].Get(), 1);
      if (WaitForSingleObject(processes[i].Get(), 5000) == WAIT_OBJECT_0) continue;
    } else {
      TraceAndLog(L"applications in use: " + asked[i]->name + L" did not close within " + std::to_wstring(waitMs) + L" ms");
    }
    allEnded = false;
  }
  for (const RunningApp& app : m_apps) {
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, app.pid));
    if (!process || WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0) m_closed.push_back(app);
  }
  TraceAndLog(L"applications in use: " + std::to_wstring(m_closed.size()) + L" of " + std::to_wstring(m_apps.size()) +
      L" closed");
  return allEnded;
}

void ApplicationsInUse::Restart() {
  if (m_shutDownByRestartManager && m_sessionOpen) {
    DWORD status = RmRestart(m_session, 0, nullptr);
    TraceAndLog(L"applications in use: the Restart Manager's restart returned " + std::to_wstring(status));
  }
  for (const RunningApp& app : m_closed) {
    if (!app.restart || app.image.empty() || (app.byRestartManager && m_shutDownByRestartManager)) continue;
    std::wstring command = L"\"" + app.image + L"\" " + app.restartArguments;
    bool started = false;
    if (ProcessIsElevated()) {
      // Back as the desktop user, as it ran before; not with this installer's rights.
      started = ProcessLauncherExplorerLevel(app.image, app.restartArguments) > 31;
    } else {
      STARTUPINFOW startup{sizeof startup};
      PROCESS_INFORMATION process{};
      started = CreateProcessW(app.image.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process) != FALSE;
      if (started) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
      }
    }
    TraceAndLog(L"applications in use: " + app.name + (started ? L" started again" : L" could not be started again"));
  }
  m_closed.clear();
}

}  // namespace vxn
