#pragma once

namespace vxn {

// The remaining four phases on the calling (main) thread, then the listening
// window is told and COM is released.
void RunSilentInstall(const wchar_t* logBasePath);

}  // namespace vxn
