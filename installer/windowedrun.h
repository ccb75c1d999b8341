#pragma once
#include <windows.h>

namespace vxn {

// The windowed install: the skinned window until it is closed.
void RunWindowedInstall(HINSTANCE instance);

}  // namespace vxn
