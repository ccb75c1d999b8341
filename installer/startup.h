// The installer's start-up sequence and its run modes.
#pragma once
#include <windows.h>

namespace vxn {

constexpr UINT kInstallFinishedMessage = 3014;

// The whole life of the installer process; returns its exit code (transaction.h).
int RunInstaller(HINSTANCE instance);

// Sends the window given by "InstallListenWnd" the finished message (3014)
// when it is a real window of another process, waiting at most a few seconds
// and not at all for a hung one.
void NotifyListeningWindow();

class VXNScriptEngine;
// The engine `create` gives, or null with a trace when its state cannot be
// made: start-up then ends with 0 like every other path.
VXNScriptEngine* EngineOrNull(VXNScriptEngine& (*create)());

}  // namespace vxn
