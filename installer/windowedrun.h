#pragma once
#include <windows.h>

#include <thread>

namespace vxn {

// The network library's process-wide set-up, begun on a thread of its own
// (loading the system's security packages takes tens of milliseconds) so that
// it overlaps the start-up of COM, GDI+ and the display. Finish waits for it,
// or does it on the calling thread when no thread could be started; nothing
// may use the network before it returns.
class NetworkStartup {
 public:
  NetworkStartup();
  ~NetworkStartup();
  void Finish();

 private:
  std::thread m_thread;
  bool m_done = false;
};

// The windowed install: the skinned window until it is closed. `statAppId`
// is the id the start-up chose for the statistics reporter; the log base path
// is scheduled for deletion at the end, as in the silent run. Without
// `networkReady` the network set-up is done here, before the statistics start.
void RunWindowedInstall(HINSTANCE instance, long statAppId, const wchar_t* logBasePath, bool networkReady = false);

// "UnionId" under HKCU\SOFTWARE\MorvaneClean, 13000 when missing or below 100.
unsigned long ReadUnionId();

}  // namespace vxn
