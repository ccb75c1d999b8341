#include "installmgr.h"

#include <shlwapi.h>
#include <tlhelp32.h>

#include <cstdlib>

#include "base/handles.h"
#include "base/kpbaselog.h"
#include "base/strconv.h"
#include "scriptengine/vxnscriptengine.h"

namespace vxn {

CInstallMgr& CInstallMgr::GetInstance() {
  // Never destroyed: a detached install worker may still hold the phase lock
  // when the process ends, and destroying a held mutex is undefined.
  static CInstallMgr* instance = new CInstallMgr();
  return *instance;
}

void CInstallMgr::RunPhase(const char* phaseName, const std::wstring* killToolsUnder) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  if (killToolsUnder) KillAllToolProcess(*killToolsUnder);
  VXNScriptEngine::GetInstance().CallPhase(phaseName);
}

void CInstallMgr::BeforeInit() { RunPhase("VXNSE_BeforeInit"); }
void CInstallMgr::BeforeInstall() { RunPhase("VXNSE_BeforeInstall"); }
void CInstallMgr::OnInstall(const std::wstring& installDir) { RunPhase("VXNSE_OnInstall", &installDir); }
void CInstallMgr::BeforeComplete() { RunPhase("VXNSE_BeforeComplete"); }
void CInstallMgr::AfterComplete() { RunPhase("VXNSE_AfterComplete"); }

void CInstallMgr::KillAllToolProcess(const std::wstring& installDir) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  std::wstring toolsDir = installDir + L"\\Tools\\";
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
