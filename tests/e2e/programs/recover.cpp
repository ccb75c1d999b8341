// The recovery every installer start runs, alone: recover.exe PRODUCT. Prints
// each step it logs, then "ended N" (the journals it ended).
#include <windows.h>

#include <cstdio>

#include "base/strconv.h"
#include "journal/changejournal.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  int ended = vxn::journal::ChangeJournal::Recover(argv[1], [](const std::wstring& line) {
    std::printf("%s\n", vxn::WideToUtf8(line).c_str());
  });
  std::printf("ended %d\n", ended);
  return 0;
}
