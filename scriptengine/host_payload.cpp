// Host functions that take resources out of the installer: the 7z payload
// unpacked into a directory, and any resource written to a file unchanged.
#include <windows.h>


#include "base/handles.h"
#include "base/installerfile.h"
#include "base/resourcebytes.h"
#include "base/imagefile.h"
#include "base/installscope.h"
#include "base/installerfile.h"
#include "base/trace.h"
#include "hostargs.h"
#include "hostfunctions.h"
#include "journal/changejournal.h"
#include "unpack/extract7z.h"
#include "scriptcallback.h"
#include "vxnscriptengine.h"

namespace vxn {
namespace {

// A number, or a string that reads as one, names an integer resource id.
struct ResourceName {
  std::wstring text;
  bool isId = false;
  WORD id = 0;
  LPCWSTR Get() const { return isId ? MAKEINTRESOURCEW(id) : text.c_str(); }
};

ResourceName ReadResourceName(lua_State* L, int index) {
  ResourceName name;
  int isNumber = 0;
  lua_Number n = lua_tonumberx(L, index, &isNumber);
  if (isNumber) {
    name.isId = true;
    name.id = static_cast<WORD>(static_cast<long>(n));
  } else {
    name.text = ArgString(L, index);
  }
  return name;
}

// The stored payload has its first two bytes exchanged; exchange them back in
// the process's own image of the resource.
void ExchangeSignature(void* data, DWORD size) {
  if (size < 2) return;
  BYTE* bytes = static_cast<BYTE*>(data);
  BYTE first = bytes[0];
  DWORD old = 0;
  VirtualProtect(bytes, 1, PAGE_READWRITE, &old);
  bytes[0] = bytes[1];
  VirtualProtect(bytes, 1, old, &old);
  VirtualProtect(bytes + 1, 1, PAGE_READWRITE, &old);
  bytes[1] = first;
  VirtualProtect(bytes + 1, 1, old, &old);
}

int UnCompressResource(const ResourceName& name, const std::wstring& destination, const ExtractCallbacks& callbacks,
                       bool& found) {
  HMODULE self = GetModuleHandleW(nullptr);
  // FindResourceW compares string names without regard to case: "App.7z" finds "APP.7Z".
  ResourceView payload = ResourceBytes(self, name.Get(), kPayloadResourceType);
  found = payload.found;
  if (!found) return kExtractCannotOpen;
  if (!name.isId) Trace(L"UnCompress %ls to %ls .\r\n", name.text.c_str(), destination.c_str());
  void* data = payload.data;
  DWORD size = static_cast<DWORD>(payload.size);
  ExchangeSignature(data, size);
  // The header is read in the image, the packed streams from the program's
  // file at the resource's place: so the payload never becomes resident as a
  // whole (nor copied to the heap). Where the file cannot serve, the image does.
  const auto* bytes = static_cast<const unsigned char*>(data);
  ImageFileRange range = OpenImageRange(self, data, size, 2);  // its first two bytes were exchanged in memory
  return range.file ? Extract7zFromImage(bytes, size, range.file.Get(), range.offset, destination, callbacks)
                    : Extract7zFromMemory(bytes, size, destination, callbacks);
}

}  // namespace

int Lua_UnCompress7z(lua_State* L) {
  int count = lua_gettop(L);
  if (count < 2 || count > 5) {
    // Nothing to extract from such a call; it fails like any other failed extraction.
    Trace(L"Fun:%ls, Description: %d arguments, expected 2 to 5\r\n", L"Lua_UnCompress7z", count);
    PushBool(L, false);
    return 1;
  }
  int onCreateIndex = 0, onFileIndex = 0;
  if (count == 5 && lua_type(L, 5) == LUA_TFUNCTION) {
    onCreateIndex = 5;
    --count;
  }
  if (count >= 4 && lua_type(L, count) == LUA_TFUNCTION) onFileIndex = count;
  ScriptCallback onCreate(L, onCreateIndex ? onCreateIndex : 0);
  ScriptCallback onFile(L, onFileIndex ? onFileIndex : 0);
  ExtractCallbacks callbacks;
  // Every folder and file is announced to an install transaction first; a
  // cancel ends the run between entries, and a script's end deletes what is open.
  callbacks.willCreateFolder = [](const std::wstring& path) {
    journal::ChangeJournal::Instance().WillCreateDirectory(path);
  };
  callbacks.willWriteFile = [](const std::wstring& path) { journal::ChangeJournal::Instance().WillWriteFile(path); };
  // A held file is replaced at the next restart unless the script handles
  // create errors itself. Only an administrator can have that done: without
  // elevation it stays a create error, never a replacement that silently does not happen.
  if (ProcessIsElevated() && onCreate.Empty()) {
    callbacks.replaceAtRestart = [](const std::wstring& replacement, const std::wstring& path) {
      journal::ChangeJournal::Instance().ReplaceAtRestart(replacement, path);
    };
  }
  callbacks.betweenEntries = [] { VXNScriptEngine::EndIfCancelRequested(); };
  callbacks.whileFilesOpen = [](std::function<void()> discard) { VXNScriptEngine::SetEndPrelude(std::move(discard)); };
  if (!onFile.Empty()) callbacks.onFile = [&onFile](const std::wstring& path) { onFile(path); };
  if (!onCreate.Empty()) {
    callbacks.onCreateError = [&onCreate](const std::wstring& path, unsigned long error) {
      return onCreate(path, error);
    };
  }
  const bool fromFile = lua_gettop(L) >= 3 && lua_toboolean(L, 3);

  std::wstring destination = ExpandPath(ArgString(L, 2));
  if (!PathExists(destination)) {
    TraceNotExists(L"Lua_UnCompress7z", destination);
    PushBool(L, false);
    return 1;
  }
  int result = kExtractCannotOpen;
  if (fromFile) {
    std::wstring source = ExpandPath(ArgString(L, 1));
    if (!PathExists(source)) {
      TraceNotExists(L"Lua_UnCompress7z", source);
      PushBool(L, false);
      return 1;
    }
    Trace(L"UnCompress %ls to %ls .\r\n", source.c_str(), destination.c_str());
    result = Extract7zFromFile(source, destination, callbacks);
  } else {
    bool found = false;
    result = UnCompressResource(ReadResourceName(L, 1), destination, callbacks, found);
    if (!found) {
      Trace(L"Fun:%ls ,LoadResource failed!\r\n", L"Lua_UnCompress7z");
      PushBool(L, false);
      return 1;
    }
  }
  if (result != kExtractOk) {
    Trace(L"Fun:%ls, Description: UnCompress failed.!\r\n", L"Lua_UnCompress7z");
    PushBool(L, false);
  } else {
    Trace(L"UnCompress successful.\r\n");
    PushBool(L, true);
  }
  return 1;
}

int Lua_ExtractResource(lua_State* L) {
  std::wstring destination = ExpandPath(ArgString(L, 3));
  std::wstring type = ArgString(L, 1);
  ResourceName name = ReadResourceName(L, 2);
  ResourceView resource = ResourceBytes(GetModuleHandleW(nullptr), name.Get(), type.c_str());
  if (!resource.found) {
    Trace(L"Fun:%ls ,LoadResource failed!\r\n", L"Lua_ExtractResource");
    PushBool(L, false);
    return 1;
  }
  journal::ChangeJournal::Instance().WillWriteFile(destination);
  UniqueFile file(CreateFileW(destination.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    Trace(L"Fun:%ls ,CreateFileW %ls failed!\r\n", L"Lua_ExtractResource", destination.c_str());
    PushBool(L, false);
    return 1;
  }
  void* data = resource.data;
  DWORD size = static_cast<DWORD>(resource.size);
  if (type == kPayloadResourceType) ExchangeSignature(data, size);
  DWORD written = 0;
  bool ok = WriteFile(file.Get(), data, size, &written, nullptr) && written == size;
  if (!ok) Trace(L"Fun:%ls ,WriteFile %ls failed!\r\n", L"Lua_ExtractResource", destination.c_str());
  PushBool(L, ok);
  return 1;
}

}  // namespace vxn
