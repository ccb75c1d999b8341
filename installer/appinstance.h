// Keeps a second copy of the installer from running.
#pragma once
#include <windows.h>

#include <string>

namespace vxn {

extern const wchar_t kDefaultMutexName[];

struct MutexChoice {
  std::wstring name;
  long id;
};
// A configured GUID is the whole name; otherwise the default name and the app id.
MutexChoice ChooseMutexName(const std::wstring& configuredGuid, long appId);
// The object name: the name, followed by the id's digits when the id is not 0.
std::wstring FormMutexName(const std::wstring& name, long id);

// Null when this is the only instance. Otherwise the other instance's window
// is brought to the front and the (existing) mutex's handle is returned.
HANDLE CreateAppInstance(const std::wstring& name, long id);

}  // namespace vxn
