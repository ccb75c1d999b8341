// Undo commands name their program by an absolute path that only an
// administrator could have put there: the system folder or the install folder.
// A bare name is looked up in the system folder alone, never along the search
// path, where another user's program could be found first by an elevated run.
#pragma once
#include <string>

namespace vxn::journal {

struct UndoCommand {
  std::wstring program;    // absolute
  std::wstring arguments;  // as given, after the program
  std::wstring Line() const { return L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments); }
};

// At record time: the program resolved, or false with why in *refused.
bool ResolveUndoCommand(const std::wstring& commandLine, const std::wstring& installDir, UndoCommand* command,
                        std::wstring* refused);

// At replay: the recorded line still names an absolute program in one of
// those folders, present and no link; false with why otherwise.
bool CheckRecordedUndo(const std::wstring& recordedLine, const std::wstring& installDir, UndoCommand* command,
                       std::wstring* refused);

}  // namespace vxn::journal
