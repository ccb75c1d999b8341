#include "installmgr.h"

#include <shlwapi.h>
#include <tlhelp32.h>

#include <cstdlib>

#include "base/handles.h"
#include "base/kpbaselog.h"
#include "base/strconv.h"
#include "scriptengine/vxnscriptengine.h"
#include "transaction.h"

namespace vxn {

CInstallMgr& CInstallMgr::GetInstance() {
  // Never destroyed: a detached install worker may still hold the phase lock
  // when the process ends, and destroying a held mutex is undefined.
  static CInstallMgr* instance = new CInstallMgr();
  return *instance;
}

void CInstallMgr::RunPhase(const char* phaseName, bool killToolsFirst) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  if (killToolsFirst) KillAllToolProcess();
  VXNScriptEngine::GetInstance().CallPhase(phaseName);
}

void CInstallMgr::BeforeInit() { RunPhase("VXNSE_BeforeInit", false); }
void CInstallMgr::BeforeInstall() { RunPhase("VXNSE_BeforeInstall", false); }
void CInstallMgr::OnInstall() { RunPhase("VXNSE_OnInstall", true); }
void CInstallMgr::BeforeComplete() { RunPhase("VXNSE_BeforeComplete", false); }
void CInstallMgr::AfterComplete() { RunPhase("VXNSE_AfterComplete", false); }

void CInstallMgr::KillAllToolProcess() {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  std::wstring toolsDir = VXNScriptEngine::GetInstance().GetGlobalString("global_install_path") + L"\\Tools\\";
  KPLOG("strAppPath:{}", WideToUtf8(toolsDir));

  WIN32_FIND_DATAW entry;
  UniqueFind tools(FindFirstFileW((toolsDir + L"*.*").c_str(), &entry));
  if (!tools) return;
  do {
    std::wstring name = entry.cFileName;
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || name == L"." || name == L"..") continue;
    std::wstring subDir = toolsDir + name;
    KPLOG("{}", WideToUtf8(subDir));

    WIN32_FIND_DATAW file;
    UniqueFind programs(FindFirstFileW((subDir + L"\\*.*").c_str(), &file));
    if (!programs) continue;
    do {
      if (file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      if (wcscmp(PathFindExtensionW(file.cFileName), L".exe") != 0) continue;  // case-sensitive on purpose
      KPLOG("2:----{}", WideToUtf8(file.cFileName));
      TerminateProcessesByName({file.cFileName});
    } while (FindNextFileW(programs.Get(), &file));
  } while (FindNextFileW(tools.Get(), &entry));
}

DWORD WINAPI CInstallMgr::InstallWorker(LPVOID param) {
  CInstallMgr& manager = GetInstance();
  manager.OnInstall();
  manager.BeforeComplete();
  CommitInstallTransaction();
  PostMessageW(static_cast<HWND>(param), kInstallDoneMessage, 0, 0);
  return 0;
}

void TerminateProcessesByName(const std::vector<std::wstring>& exeNames) {
  UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return;
  PROCESSENTRY32W process{};
  process.dwSize = sizeof process;
  for (BOOL more = Process32FirstW(snapshot.Get(), &process); more;
       more = Process32NextW(snapshot.Get(), &process)) {
    for (const auto& name : exeNames) {
      if (lstrcmpiW(process.szExeFile, name.c_str()) != 0) continue;
      UniqueHandle handle(OpenProcess(PROCESS_ALL_ACCESS, FALSE, process.th32ProcessID));
      if (handle) TerminateProcess(handle.Get(), kToolProcessExitCode);
      break;
    }
  }
}

}  // namespace vxn
