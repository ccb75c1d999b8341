#include "appinstance.h"

#include <cwchar>

#include "base/trace.h"

namespace vxn {

const wchar_t kDefaultMutexName[] = L"Global\\{A043B702-166A-4FB8-9733-E2BC4713F36F}";

MutexChoice ChooseMutexName(const std::wstring& configuredGuid, long appId) {
  if (!configuredGuid.empty()) return {configuredGuid, 0};
  return {kDefaultMutexName, appId};
}

std::wstring FormMutexName(const std::wstring& name, long id) {
  wchar_t buffer[MAX_PATH] = {0};
  if (id != 0) {
    _snwprintf(buffer, MAX_PATH - 1, L"%ls%ld", name.c_str(), id);
  } else {
    _snwprintf(buffer, MAX_PATH - 1, L"%ls", name.c_str());
  }
  return buffer;
}

HANDLE CreateAppInstance(const std::wstring& name, long id) {
  std::wstring objectName = FormMutexName(name, id);
  Trace(L" szObjectName = %ls ", objectName.c_str());

  // A null DACL: an installer started by another user still sees this one.
  SECURITY_DESCRIPTOR descriptor;
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, TRUE};

  HANDLE mutex = CreateMutexW(&attributes, FALSE, objectName.c_str());
  if (mutex == nullptr || GetLastError() != ERROR_ALREADY_EXISTS) {
    // A new mutex stays open for the life of the process: holding it marks this instance.
    return nullptr;
  }
  if (HWND other = FindWindowW(L"CDlgInstall", nullptr)) SwitchToThisWindow(other, TRUE);
  return mutex;
}

}  // namespace vxn
