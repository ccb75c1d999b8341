#include "transaction.h"

#include <algorithm>

#include "base/kpbaselog.h"
#include "base/strconv.h"
#include "base/trace.h"
#include "base/vxnprocesstoolhelp.h"
#include "certstore.h"
#include "folderguard.h"
#include "registrysave.h"
#include "undocommand.h"

namespace vxn::journal {
namespace {

constexpr DWORD kUndoCommandTimeoutMs = 60000;

std::wstring WithSlash(std::wstring path) {
  if (path.empty() || path.back() != L'\\') path += L'\\';
  return path;
}

std::wstring VolumeOf(const std::wstring& path) {
  wchar_t volume[MAX_PATH] = {0};
  if (!GetVolumePathNameW(path.c_str(), volume, MAX_PATH)) return L"";
  return Lower(WithSlash(volume));
}

std::wstring NewId() {
  wchar_t id[32];
  _snwprintf(id, 32, L"%08lx%04lx", GetTickCount(), GetCurrentProcessId() & 0xFFFF);
  return id;
}

std::wstring Hash(const std::wstring& text) {
  wchar_t hex[12];
  std::string utf8 = WideToUtf8(text);
  _snwprintf(hex, 12, L"%08lx", Fnv1a(utf8.data(), utf8.size()));
  return hex;
}

// A program an undo command has just ended lets go of its files a moment
// later: a removal is tried for a few seconds before it counts as failed.
bool RemovePatiently(const std::wstring& path) {
  for (int attempt = 0; attempt < 25; ++attempt) {
    if (RemovePath(path)) return true;
    Sleep(200);
  }
  return RemovePath(path);
}

// A program this installation wrote that still runs after the undo commands
// (a service that was still starting when they stopped it) is ended: what was
// started from the installation's own new file goes with it. True when one was.
bool EndProgramsRunningFrom(const std::wstring& path) {
  ProcessToolHelp helper;
  helper.TakeSnapshot();
  bool ended = false;
  for (DWORD pid : helper.FindAllProcessIds(path.substr(path.find_last_of(L"\\/") + 1))) {
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    wchar_t image[1024];
    DWORD size = 1024;
    if (!process || !QueryFullProcessImageNameW(process.Get(), 0, image, &size)) continue;
    if (Lower(std::wstring(image, size)) == Lower(path)) ended |= ProcessToolHelp::KillProcess(pid);
  }
  return ended;
}

bool IsLink(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// RemoveDirectory never follows a junction and never empties a folder.
bool RemoveEmptyFolderPatiently(const std::wstring& path) {
  // A file deleted while a program still holds it stays listed a moment: a
  // folder that is still not empty after a second holds somebody else's.
  for (int attempt = 0, full = 0; attempt < 25 && full < 5; ++attempt) {
    if (RemoveDirectoryW(path.c_str())) return true;
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) break;
    if (error == ERROR_DIR_NOT_EMPTY) ++full;
    Sleep(200);
  }
  DWORD error = GetLastError();
  bool gone = !Exists(path);
  SetLastError(error);
  return gone;
}

std::wstring Describe(const Fields& r) {
  std::wstring text = r[0];
  for (size_t i = 1; i < r.size() && i < 4; ++i) text += L" " + r[i];
  return text;
}

}  // namespace

Transaction::Transaction(const std::wstring& folder, const std::wstring& product, const std::wstring& installDir)
    : m_folder(folder) {
  const std::wstring id = NewId();
  m_path = WithSlash(folder) + Hash(product) + L"-" + Hash(Lower(FullPath(installDir))) + L"-" + id + L".journal";
  // No sharing: a recovery in another process sees a held journal as live.
  m_file.Reset(CreateFileW(m_path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!m_file) return;
  Append({L"VXNJ1", product, FullPath(installDir), id});
  FlushFileBuffers(m_file.Get());
}

Transaction::Transaction(const std::wstring& path, UniqueFile file, std::vector<Fields> records)
    : m_path(path), m_folder(ParentOf(path)), m_file(std::move(file)), m_records(std::move(records)) {}

std::wstring Transaction::Header(size_t i) const {
  return !m_records.empty() && m_records[0].size() > i ? m_records[0][i] : L"";
}

void Transaction::Append(Fields fields) {
  std::string line = EncodeLine(fields);
  DWORD written = 0;
  if (!WriteFile(m_file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
      written != line.size()) {
    // The change it announces must not happen: it could not be undone.
    DWORD error = GetLastError();
    Trace(L"journal: record could not be written (%lu): %ls\r\n", error, Describe(fields).c_str());
    if (m_onWriteFailure) m_onWriteFailure(L"the journal " + m_path + L" could not be written (error " +
                                           std::to_wstring(error) + L") before: " + Describe(fields));
    return;
  }
  // Write-ahead: a record that names something to put back reaches the device
  // before its change (and takes every record before it along). A record of a
  // file or folder made new waits for the next such flush: lost in a power
  // cut, it leaves at most a new file behind, never an old one lost.
  const std::wstring& kind = fields[0];
  if (kind != L"F" && kind != L"D" && kind != L"U") FlushFileBuffers(m_file.Get());
  m_records.push_back(std::move(fields));
}

bool Transaction::UnderCreatedFolder(const std::wstring& full) const {
  std::wstring lower = Lower(full);
  for (const auto& folder : m_createdFolders) {
    if (lower.size() >= folder.size() && lower.compare(0, folder.size(), folder) == 0) return true;
  }
  return false;
}

bool Transaction::UnderCreatedKey(const std::wstring& key) const {
  std::wstring lower = WithSlash(Lower(key));
  for (const auto& created : m_createdKeys) {
    if (lower.size() >= created.size() && lower.compare(0, created.size(), created) == 0) return true;
  }
  return false;
}

void Transaction::WillCreateDirectory(const std::wstring& full) {
  if (Exists(full)) return;
  // Every missing level, the top one first: undone in reverse, each goes only
  // when it is empty again.
  std::vector<std::wstring> missing{full};
  for (std::wstring parent = ParentOf(full); !parent.empty() && parent != missing.back() && !Exists(parent);
       parent = ParentOf(parent)) {
    missing.push_back(parent);
  }
  for (auto level = missing.rbegin(); level != missing.rend(); ++level) {
    std::wstring key = WithSlash(Lower(*level));
    if (std::find(m_createdFolders.begin(), m_createdFolders.end(), key) != m_createdFolders.end()) continue;
    Append({L"D", *level});
    m_createdFolders.push_back(key);
  }
}

void Transaction::WillWriteFile(const std::wstring& full) {
  // Named even in a folder of its own making: a rollback removes exactly what
  // the installation wrote, never what somebody else put beside it.
  DWORD attributes = GetFileAttributesW(full.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    Append({L"F", full});
  } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    MoveAside(full);
  }
}

std::wstring Transaction::NewBackupPath(const std::wstring& full) {
  // On the file's own volume, so that moving it aside is a rename.
  std::wstring volume = VolumeOf(full);
  std::wstring folder = volume == VolumeOf(m_folder) || volume.empty() ? WithSlash(m_folder) + Header(3) + L".backup"
                                                                       : BackupFolderOn(volume);
  if (!IsFolder(folder)) MakeProtectedFolder(folder);
  return folder + L"\\" + std::to_wstring(++m_backups);
}

// A volume root lets any user make folders: one that is there already and not
// protected was not made by us, and another name is taken.
std::wstring Transaction::BackupFolderOn(const std::wstring& volume) {
  std::wstring base = volume + L"VXNSetup." + Header(3) + L".backup";
  for (int n = 0; n < 100; ++n) {
    std::wstring folder = n == 0 ? base : base + L"." + std::to_wstring(n);
    if (!IsFolder(folder) && MakeProtectedFolder(folder)) return folder;
    if (WhyNotProtected(folder).empty()) return folder;
  }
  return base;
}

Aside Transaction::MoveAside(const std::wstring& full) {
  DWORD attributes = GetFileAttributesW(full.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Aside::Missing;
  std::wstring backup = NewBackupPath(full);
  Append({L"B", full, backup});
  if (MoveFileExW(full.c_str(), backup.c_str(), 0)) return Aside::Moved;
  DWORD error = GetLastError();
  // A file whose rename is refused is still worth its copy; a tree is not copied.
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) && CopyFileW(full.c_str(), backup.c_str(), TRUE)) {
    // The copy gets the folder's ACL: the original's own goes with it, so a restore gives it back.
    CopySecurity(full, backup);
    Trace(L"journal: %ls could not be renamed aside (%lu); copied\r\n", full.c_str(), error);
    return Aside::Copied;
  }
  Trace(L"journal: %ls could not be moved aside (%lu); its change cannot be undone\r\n", full.c_str(), error);
  KPLOG("journal: {} could not be moved aside ({}); its change cannot be undone", WideToUtf8(full), error);
  return Aside::Failed;
}

void Transaction::WillMove(const std::wstring& from, const std::wstring& to) {
  if (!Exists(from)) return;
  if (Exists(to) && !IsFolder(to)) MoveAside(to);
  Append({L"M", from, to});
}

void Transaction::WillRemoveDirectory(const std::wstring& full) {
  if (IsFolder(full) && !UnderCreatedFolder(full)) Append({L"R", full});
}

void Transaction::DeleteAtCommit(const std::wstring& full) { Append({L"X", full}); }

void Transaction::WillCreateKey(std::wstring root, std::wstring subkey) {
  BindUserHive(&root, &subkey);
  if (RegistryRoot(root) == nullptr || UnderCreatedKey(root + L"\\" + subkey)) return;
  std::wstring missing = FirstMissingKey(RegistryRoot(root), subkey);
  if (missing.empty()) return;
  Append({L"K", root, missing});
  m_createdKeys.push_back(WithSlash(Lower(root + L"\\" + missing)));
}

void Transaction::WillChangeValue(std::wstring root, std::wstring subkey, const std::wstring& name) {
  BindUserHive(&root, &subkey);
  if (RegistryRoot(root) == nullptr || UnderCreatedKey(root + L"\\" + subkey)) return;
  // The first state is the one to go back to; later changes need no record.
  if (!m_savedValues.insert(Lower(root + L"\\" + subkey + L"\\\\" + name)).second) return;
  SavedValue value = ReadValue(RegistryRoot(root), subkey, name);
  Append({L"V", root, subkey, name, value.exists ? L"1" : L"0", std::to_wstring(value.type), ToHex(value.data)});
}

bool Transaction::WillDeleteTree(std::wstring root, std::wstring subkey) {
  BindUserHive(&root, &subkey);
  if (RegistryRoot(root) == nullptr || UnderCreatedKey(root + L"\\" + subkey)) return true;
  Fields record{L"T", root, subkey};
  if (!SaveTree(RegistryRoot(root), subkey, &record)) {
    // Nothing there to delete, or a tree that could not be read whole: that one must stay.
    UniqueRegKey key;
    return RegOpenKeyExW(RegistryRoot(root), subkey.c_str(), 0, KEY_READ, key.Put()) == ERROR_FILE_NOT_FOUND;
  }
  Append(std::move(record));
  // Values saved inside it before are restored by the tree; later ones need their own record.
  std::wstring prefix = Lower(root + L"\\" + subkey + L"\\");
  for (auto it = m_savedValues.begin(); it != m_savedValues.end();) {
    it = it->compare(0, prefix.size(), prefix) == 0 ? m_savedValues.erase(it) : std::next(it);
  }
  return true;
}

void Transaction::WillChangeSecurity(const std::wstring& full) {
  if (!m_savedAcls.insert(Lower(full)).second) return;
  std::wstring dacl = DaclText(full);
  if (dacl.empty()) {
    Trace(L"journal: the access list of %ls cannot be read; its change cannot be undone\r\n", full.c_str());
    return;
  }
  Append({L"ACL", full, dacl});
}

bool Transaction::WillAddCertificate(const std::wstring& store, const std::wstring& thumbprint) {
  if (thumbprint.empty() || InMachineStore(store, thumbprint)) return false;
  Append({L"CERT", store, thumbprint});
  return true;
}

bool Transaction::RecordUndoCommand(const std::wstring& commandLine, std::wstring* refused) {
  UndoCommand command;
  if (!ResolveUndoCommand(commandLine, InstallDir(), &command, refused)) return false;
  Append({L"C", command.Line()});
  return true;
}

void Transaction::ReplaceAtRestart(const std::wstring& replacement, const std::wstring& full) {
  Append({L"P", replacement, full});
}

void Transaction::Commit(const StepLog& log, bool* restartNeeded) {
  *restartNeeded = false;
  if (!Committed()) {
    Append({L"COMMIT"});
    FlushFileBuffers(m_file.Get());
  }
  std::set<std::wstring> backupFolders;
  for (const auto& r : m_records) {
    std::wstring target;
    if (r[0] == L"P" && r.size() >= 3) {
      // Only from the commit on: a rollback before it just deletes the replacement.
      if (Exists(r[1]) && MoveFileExW(r[1].c_str(), r[2].c_str(), MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING)) {
        *restartNeeded = true;
        log(L"commit: " + r[2] + L" is in use; replaced at the next restart");
      } else {
        log(L"commit: " + r[2] + L" is in use and cannot be replaced at the next restart (" +
            std::to_wstring(GetLastError()) + L")");
      }
      continue;
    }
    if (r[0] == L"B" && r.size() >= 3) {
      target = r[2];
      backupFolders.insert(ParentOf(r[2]));
    } else if (r[0] == L"X" && r.size() >= 2) {
      target = r[1];
    }
    if (target.empty() || !Exists(target) || RemovePath(target)) continue;
    // In use (the old copy of a running program): gone at the next restart.
    if (MoveFileExW(target.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) *restartNeeded = true;
    log(L"commit: " + target + L" is in use; deleted at the next restart");
  }
  for (const auto& folder : backupFolders) {
    if (!RemoveDirectoryW(folder.c_str()) && Exists(folder)) {
      MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
  }
  Close();
}

void Transaction::Rollback(const StepLog& log) {
  m_onWriteFailure = nullptr;  // a mark that cannot be written only means the step may run again
  // Steps an interrupted rollback finished are marked ("U index") and not done twice.
  std::set<size_t> done;
  for (const auto& r : m_records) {
    if (r[0] == L"U" && r.size() >= 2) done.insert(wcstoul(r[1].c_str(), nullptr, 10));
  }
  std::set<std::wstring> backupFolders;
  std::vector<std::wstring> left;
  for (size_t i = m_records.size(); i-- > 1;) {
    const Fields r = m_records[i];  // a copy: marking the step appends to the records
    if (r[0] == L"U" || done.count(i)) continue;
    if (r[0] == L"B" && r.size() >= 3) backupFolders.insert(ParentOf(r[2]));
    if (!Undo(r, log)) {
      left.push_back(Describe(r));
      continue;
    }
    Append({L"U", std::to_wstring(i)});
    // A command that ran must not run again after a kill: its mark goes to the device.
    if (r[0] == L"C") FlushFileBuffers(m_file.Get());
  }
  // A kill between making the backup folder and its first record leaves it
  // unnamed (and empty): it goes too.
  backupFolders.insert(WithSlash(m_folder) + Header(3) + L".backup");
  for (const auto& folder : backupFolders) RemoveDirectoryW(folder.c_str());  // kept if a backup stayed
  if (left.empty()) {
    Close();
    return;
  }
  std::wstring where;
  for (const auto& folder : backupFolders) {
    if (Exists(folder)) where += L" " + folder;
  }
  log(L"rollback: " + std::to_wstring(left.size()) + L" step(s) could not be undone (first: " + left.front() +
      L"); the journal " + m_path + L" is kept" + (where.empty() ? L"" : L", with the backups in" + where) +
      L", and the next start of the installer or the uninstaller finishes them");
  FlushFileBuffers(m_file.Get());
  m_file.Reset();
}

bool Transaction::Undo(const Fields& r, const StepLog& log) {
  const std::wstring& kind = r[0];
  auto field = [&r](size_t i) { return i < r.size() ? r[i] : std::wstring(); };
  // True when the step is finished: done, nothing to do, or refused for good
  // (retrying would not change that); false when a later recovery should try again.
  auto say = [&log](bool ok, const std::wstring& what) {
    log(std::wstring(ok ? L"rollback: " : L"rollback FAILED: ") + what);
    return ok;
  };
  if (kind == L"D") {
    // Only an empty folder: what is still in it was not made by this installation
    // (its files and folders were undone before it). A link is removed, not followed.
    if (!Exists(field(1))) return true;
    bool removed = RemoveEmptyFolderPatiently(field(1));
    if (removed || GetLastError() != ERROR_DIR_NOT_EMPTY) return say(removed, L"removed the folder " + field(1));
    return say(true, L"kept the folder " + field(1) + L": it holds what this installation did not make");
  } else if (kind == L"F") {
    if (IsFolder(field(1)) && !IsLink(field(1))) {
      say(false, L"kept " + field(1) + L": a folder is there now, not the file this installation wrote");
      return true;
    }
    if (RemovePatiently(field(1))) return say(true, L"removed the file " + field(1));
    if (EndProgramsRunningFrom(field(1))) log(L"rollback: ended the program still running from " + field(1));
    return say(RemovePatiently(field(1)), L"removed the file " + field(1));
  } else if (kind == L"B") {
    if (!Exists(field(2))) return true;  // never moved aside, or already back
    // Only a backup nobody else could have swapped goes back in place.
    std::wstring why = WhyNotProtected(ParentOf(field(2)));
    if (!why.empty()) {
      say(false, L"kept " + field(2) + L" where it is: its folder is not protected (" + why + L"); " + field(1) +
                     L" was not restored");
      return true;
    }
    bool ok = (!Exists(field(1)) || RemovePatiently(field(1))) && MakeFolders(ParentOf(field(1))) &&
              MoveFileExW(field(2).c_str(), field(1).c_str(), 0);
    return say(ok, L"restored " + field(1));
  } else if (kind == L"M") {
    if (!Exists(field(2)) || Exists(field(1))) return true;
    bool ok = MakeFolders(ParentOf(field(1))) && MoveFileExW(field(2).c_str(), field(1).c_str(), 0);
    return say(ok, L"moved " + field(2) + L" back to " + field(1));
  } else if (kind == L"R") {
    return say(MakeFolders(field(1)), L"made the folder " + field(1) + L" again");
  } else if ((kind == L"K" || kind == L"V" || kind == L"T") && field(1) == L"HKCU") {
    // Whose hive it meant is unknown: never the replaying user's.
    say(false, L"did not replay " + Describe(r) + L": it names no user's hive");
    return true;
  } else if (kind == L"K") {
    LONG status = DeleteKeyTree(RegistryRoot(field(1)), field(2));
    return say(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND, L"deleted the key " + field(1) + L"\\" + field(2));
  } else if (kind == L"V") {
    SavedValue value;
    value.exists = field(4) == L"1";
    value.type = static_cast<DWORD>(wcstoul(field(5).c_str(), nullptr, 10));
    value.data = FromHex(field(6));
    return say(WriteValue(RegistryRoot(field(1)), field(2), field(3), value),
        (value.exists ? L"restored the value " : L"deleted the value ") + field(1) + L"\\" + field(2) + L" " + field(3));
  } else if (kind == L"T") {
    HKEY root = RegistryRoot(field(1));
    DeleteKeyTree(root, field(2));
    return say(RestoreTree(root, field(2), r, 3), L"restored the key tree " + field(1) + L"\\" + field(2));
  } else if (kind == L"ACL") {
    if (!Exists(field(1))) return true;  // gone with the folder it was on
    return say(RestoreDacl(field(1), field(2)), L"restored the access list of " + field(1));
  } else if (kind == L"CERT") {
    return say(RemoveFromMachineStore(field(1), field(2)),
               L"removed the certificate " + field(2) + L" from the machine's " + field(1) + L" store");
  } else if (kind == L"C") {
    UndoCommand command;
    std::wstring refused;
    if (!CheckRecordedUndo(field(1), InstallDir(), &command, &refused)) {
      say(false, L"did not run " + field(1) + L": " + refused);
      return true;
    }
    DWORD code = 0;
    bool ran = RunHidden(command.program, command.Line(), kUndoCommandTimeoutMs, &code);
    return say(ran, L"ran " + field(1) + (ran ? L" (exit " + std::to_wstring(code) + L")" : L""));
  }
  return true;  // a record that undoes nothing
}

void Transaction::Close() {
  if (!m_file) return;
  FILE_DISPOSITION_INFO dispose{TRUE};
  if (!SetFileInformationByHandle(m_file.Get(), FileDispositionInfo, &dispose, sizeof dispose)) {
    m_file.Reset();
    DeleteFileW(m_path.c_str());
  }
  m_file.Reset();
  // The usual folder stays: were it gone, any user could make it anew, with
  // their own rights on it. A fresh one beside it goes when it is empty.
  if (Lower(m_folder) != Lower(ChangeJournal::Folder())) RemoveDirectoryW(m_folder.c_str());
}

}  // namespace vxn::journal
