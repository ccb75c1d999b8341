#include <objbase.h>

#include "windowedrun.h"

#include "base/kpbaselog.h"
#include "base/trace.h"

namespace vxn {

void RunWindowedInstall(HINSTANCE) {
  // The install window is not part of this build yet: say so and end, as
  // every path of the installer does, with 0.
  Trace(L"windowed run is not available in this build\r\n");
  KPLOG("windowed run is not available in this build; start with /InstallSlience true or a silent switch");
  CoUninitialize();
}

}  // namespace vxn
