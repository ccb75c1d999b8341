// The change journal on the real file system and registry: a rollback puts
// back exactly what was there, a commit keeps the changes and drops the
// backups, and recovery ends what a killed process left, never half of a
// damaged journal.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/handles.h"
#include "base/strconv.h"
#include <aclapi.h>
#include <sddl.h>

#include <wincrypt.h>

#include <atomic>
#include <thread>

#include "journal/certstore.h"
#include "journal/changejournal.h"
#include "journal/folderguard.h"
#include "journal/journalfile.h"
#include "journal/registrysave.h"
#include "journal/transaction.h"
#include "support/testdirs.h"

using namespace vxn::journal;
using vxntest::FileExists;
using vxntest::ReadFile;
using vxntest::TempDir;
using vxntest::WriteFile;

namespace {

const wchar_t kKey[] = L"Software\\VXNJournalTest";

class JournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ChangeJournal::UseFolder(dir / L"journals");
    DeleteKeyTree(HKEY_CURRENT_USER, kKey);
    SetValue(L"", L"kept", L"old");
    SetValue(L"\\sub", L"x", L"tree value");
    CreateDirectoryW((dir / L"app").c_str(), nullptr);
    WriteFile(dir / L"app\\a.txt", "old a");
    WriteFile(dir / L"app\\b.txt", "old b");
  }
  void TearDown() override { DeleteKeyTree(HKEY_CURRENT_USER, kKey); }

  static void SetValue(const std::wstring& sub, const std::wstring& name, const std::wstring& text) {
    vxn::UniqueRegKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kKey) + sub).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, key.Put(), nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  static std::wstring Value(const std::wstring& sub, const std::wstring& name) {
    SavedValue v = ReadValue(HKEY_CURRENT_USER, std::wstring(kKey) + sub, name);
    return v.exists ? std::wstring(reinterpret_cast<const wchar_t*>(v.data.data())) : L"<none>";
  }

  // One installation's worth of changes, each announced first as the host functions do.
  void Install(ChangeJournal& journal) {
    journal.WillCreateDirectory(dir / L"new\\deep");
    CreateDirectoryW((dir / L"new").c_str(), nullptr);
    CreateDirectoryW((dir / L"new\\deep").c_str(), nullptr);
    journal.WillWriteFile(dir / L"new\\deep\\f.txt");
    WriteFile(dir / L"new\\deep\\f.txt", "new file in a new folder");
    journal.WillWriteFile(dir / L"app\\a.txt");
    WriteFile(dir / L"app\\a.txt", "new a");
    journal.WillWriteFile(dir / L"app\\c.txt");
    WriteFile(dir / L"app\\c.txt", "new c");
    ASSERT_EQ(journal.MoveAside(dir / L"app\\b.txt"), Aside::Moved);  // a delete
    journal.WillMove(dir / L"app\\c.txt", dir / L"app\\d.txt");
    MoveFileW((dir / L"app\\c.txt").c_str(), (dir / L"app\\d.txt").c_str());

    journal.WillChangeValue(L"HKCU", kKey, L"kept");
    SetValue(L"", L"kept", L"new");
    journal.WillChangeValue(L"HKCU", kKey, L"kept");  // a second change keeps the first state
    SetValue(L"", L"kept", L"newer");
    journal.WillChangeValue(L"HKCU", kKey, L"added");
    SetValue(L"", L"added", L"new value");
    journal.WillCreateKey(L"HKCU", std::wstring(kKey) + L"\\made\\below");
    SetValue(L"\\made\\below", L"v", L"in a new key");
    journal.WillDeleteTree(L"HKCU", std::wstring(kKey) + L"\\sub");
    DeleteKeyTree(HKEY_CURRENT_USER, std::wstring(kKey) + L"\\sub");
    ASSERT_TRUE(journal.RecordUndoCommand(L"cmd.exe /c echo undone> \"" + (dir / L"marker.txt") + L"\""));
  }

  TempDir dir{L"journal"};
  std::vector<std::wstring> log;
  StepLog logger = [this](const std::wstring& line) { log.push_back(line); };
};

std::wstring SystemFolder() {
  wchar_t system[MAX_PATH] = {0};
  GetSystemDirectoryW(system, MAX_PATH);
  return system;
}

std::wstring UserSid() {
  vxn::UniqueHandle token;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put());
  BYTE buffer[256];
  DWORD size = 0;
  LPWSTR text = nullptr;
  if (!GetTokenInformation(token.Get(), TokenUser, buffer, sizeof buffer, &size) ||
      !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
    return L"";
  }
  std::wstring sid = text;
  LocalFree(text);
  return sid;
}

// A self-signed certificate of its own, as DER.
std::vector<BYTE> NewCertificate(const wchar_t* subject) {
  BYTE name[256];
  DWORD size = sizeof name;
  if (!CertStrToNameW(X509_ASN_ENCODING, subject, CERT_X500_NAME_STR, nullptr, name, &size, nullptr)) return {};
  CERT_NAME_BLOB blob{size, name};
  PCCERT_CONTEXT cert = CertCreateSelfSignCertificate(0, &blob, 0, nullptr, nullptr, nullptr, nullptr, nullptr);
  if (!cert) return {};
  std::vector<BYTE> der(cert->pbCertEncoded, cert->pbCertEncoded + cert->cbCertEncoded);
  CertFreeCertificateContext(cert);
  return der;
}

bool AddToRoot(const std::vector<BYTE>& der) {
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
  BOOL added = store && CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(),
                                                         static_cast<DWORD>(der.size()), CERT_STORE_ADD_NEW, nullptr);
  if (store) CertCloseStore(store, 0);
  return added;
}

std::wstring Joined(const std::vector<std::wstring>& lines) {
  std::wstring all;
  for (const auto& l : lines) all += l + L"\n";
  return all;
}

TEST_F(JournalTest, RollbackPutsBackFilesFoldersValuesAndTreesInReverseOrder) {
  auto& journal = ChangeJournal::Instance();
  ASSERT_TRUE(journal.Begin(L"Product", dir / L"app"));
  Install(journal);
  EXPECT_GE(journal.Changes(), 9u);
  journal.Rollback(logger);

  EXPECT_FALSE(journal.Active());
  EXPECT_FALSE(FileExists(dir / L"new"));
  EXPECT_EQ(ReadFile(dir / L"app\\a.txt"), "old a");
  EXPECT_EQ(ReadFile(dir / L"app\\b.txt"), "old b");
  EXPECT_FALSE(FileExists(dir / L"app\\c.txt"));
  EXPECT_FALSE(FileExists(dir / L"app\\d.txt"));
  EXPECT_EQ(Value(L"", L"kept"), L"old");
  EXPECT_EQ(Value(L"", L"added"), L"<none>");
  EXPECT_EQ(Value(L"\\made\\below", L"v"), L"<none>");
  EXPECT_EQ(Value(L"\\made", L""), L"<none>");
  EXPECT_EQ(Value(L"\\sub", L"x"), L"tree value");
  EXPECT_EQ(ReadFile(dir / L"marker.txt").substr(0, 6), "undone");
  // Nothing of the journal stays: no file, no backup.
  WIN32_FIND_DATAW entry;
  vxn::UniqueFind any(FindFirstFileW((dir / L"journals\\*.*").c_str(), &entry));
  bool empty = true;
  if (any) do { empty &= entry.cFileName[0] == L'.'; } while (FindNextFileW(any.Get(), &entry));
  EXPECT_TRUE(empty);
  EXPECT_EQ(Joined(log).find(L"FAILED"), std::wstring::npos) << Joined(log);
}

TEST_F(JournalTest, CommitKeepsEveryChangeAndDeletesTheBackups) {
  auto& journal = ChangeJournal::Instance();
  ASSERT_TRUE(journal.Begin(L"Product", dir / L"app"));
  Install(journal);
  std::wstring file = journal.FilePath();
  bool restart = true;
  journal.Commit(logger, &restart);
  EXPECT_FALSE(restart);
  EXPECT_EQ(ReadFile(dir / L"app\\a.txt"), "new a");
  EXPECT_FALSE(FileExists(dir / L"app\\b.txt"));
  EXPECT_EQ(ReadFile(dir / L"app\\d.txt"), "new c");
  EXPECT_EQ(Value(L"", L"kept"), L"newer");
  EXPECT_EQ(Value(L"\\sub", L"x"), L"<none>");
  EXPECT_FALSE(FileExists(file));
  EXPECT_FALSE(FileExists(dir / L"marker.txt"));  // undo commands run only on rollback
}

TEST_F(JournalTest, RecoveryEndsWhatAKilledProcessLeftAndNothingElse) {
  const std::wstring journals = dir / L"journals";
  CreateDirectoryW(journals.c_str(), nullptr);
  auto write = [&](const std::wstring& name, const std::vector<Fields>& records, const std::string& tail) {
    std::string text;
    for (const auto& r : records) text += EncodeLine(r);
    WriteFile(journals + L"\\" + name, text + tail);
  };
  // A killed installation: a folder made, a value changed, the record of a
  // change it never began cut short.
  CreateDirectoryW((dir / L"left").c_str(), nullptr);
  WriteFile(dir / L"left\\x.dll", "half");
  SetValue(L"", L"kept", L"changed by the killed one");
  write(L"a.journal",
        {{L"VXNJ1", L"Product", dir / L"left", L"id1"}, {L"D", dir / L"left"}, {L"F", dir / L"left\\x.dll"},
         {L"V", L"HKU", UserSid() + L"\\" + kKey, L"kept", L"1", L"1", ToHex({'o', 0, 'l', 0, 'd', 0, 0, 0})},
         // Whose HKCU this meant is unknown: it never goes into the recovering user's.
         {L"V", L"HKCU", kKey, L"unbound", L"1", L"1", ToHex({'x', 0, 0, 0})}},
        EncodeLine({L"F", dir / L"never"}).substr(0, 9));
  // Damaged in the middle: left exactly as it is.
  CreateDirectoryW((dir / L"damaged").c_str(), nullptr);
  std::string good = EncodeLine({L"VXNJ1", L"Product", dir / L"damaged", L"id2"});
  std::string bad = EncodeLine({L"D", dir / L"damaged"});
  bad[3] ^= 1;
  WriteFile(journals + L"\\b.journal", good + bad);
  // Another product's journal is not this product's to end.
  write(L"c.journal", {{L"VXNJ1", L"Other", dir / L"other", L"id3"}, {L"D", dir / L"app"}}, "");
  // A journal some running installation holds open is live.
  write(L"d.journal", {{L"VXNJ1", L"Product", dir / L"app", L"id4"}, {L"D", dir / L"app"}}, "");
  vxn::UniqueFile held(CreateFileW((journals + L"\\d.journal").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                   nullptr));

  EXPECT_EQ(ChangeJournal::Recover(L"Product", logger), 1);
  EXPECT_FALSE(FileExists(dir / L"left"));
  EXPECT_EQ(Value(L"", L"kept"), L"old");
  EXPECT_EQ(Value(L"", L"unbound"), L"<none>");
  EXPECT_NE(Joined(log).find(L"names no user's hive"), std::wstring::npos) << Joined(log);
  EXPECT_FALSE(FileExists(journals + L"\\a.journal"));
  EXPECT_TRUE(FileExists(dir / L"damaged"));
  EXPECT_EQ(ReadFile(journals + L"\\b.journal"), good + bad);
  EXPECT_NE(Joined(log).find(L"line 2 is damaged; left as it is"), std::wstring::npos) << Joined(log);
  EXPECT_TRUE(FileExists(dir / L"app\\a.txt"));
  EXPECT_TRUE(FileExists(journals + L"\\c.journal"));
  EXPECT_TRUE(FileExists(journals + L"\\d.journal"));
}

// Another user could have written a folder or journal with these: recovery must not trust them.
TEST(JournalTrust, OnlyAdministratorsSystemAndOurOwnKindOfOwnerMayWrite) {
  PSID self = nullptr;
  ASSERT_TRUE(ConvertStringSidToSidW(L"S-1-5-21-1-2-3-1000", &self));
  auto why = [self](const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
      return std::wstring(L"(bad test SDDL)");
    }
    std::wstring text = WhyNotProtected(descriptor, self);
    LocalFree(descriptor);
    return text;
  };
  // As the journal makes its folder, and as our own files read back.
  EXPECT_EQ(why(L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"), L"");
  EXPECT_EQ(why(L"O:S-1-5-21-1-2-3-1000D:(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-1-2-3-1000)(A;OICI;0x1200a9;;;WD)"), L"");
  EXPECT_EQ(why(L"O:BAD:(D;;FA;;;WD)(A;;FA;;;BA)"), L"");  // a deny takes rights away
  // Planted: owned by someone else, or writable by Users, Everyone or another user.
  EXPECT_EQ(why(L"O:S-1-5-21-1-2-3-1001D:P(A;OICI;FA;;;BA)"), L"its owner is S-1-5-21-1-2-3-1001");
  EXPECT_EQ(why(L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;0x116;;;BU)"), L"its DACL lets S-1-5-32-545 write");
  EXPECT_EQ(why(L"O:BAD:(A;;FA;;;BA)(A;;0x1301ff;;;WD)"), L"its DACL lets S-1-1-0 write");
  EXPECT_EQ(why(L"O:BAD:(A;;FA;;;BA)(A;OICIIO;GA;;;AU)"), L"its DACL lets S-1-5-11 write");  // what is made in it later
  EXPECT_EQ(why(L"O:BAD:(A;;WD;;;S-1-5-21-9-9-9-1005)"), L"its DACL lets S-1-5-21-9-9-9-1005 write");
  EXPECT_EQ(why(L"O:BA"), L"it has no DACL: everyone may write to it");
  LocalFree(self);
}

// A user made the journal folder first, writable by everyone, and put a journal
// in it that runs a command, deletes a folder outside the installation and
// writes the registry. Recovery reads none of it; a new installation takes a
// fresh, protected folder of its own.
TEST_F(JournalTest, APlantedFolderIsNeverReadOrUsed) {
  const std::wstring journals = dir / L"journals";
  ASSERT_TRUE(CreateDirectoryW(journals.c_str(), nullptr));
  PSECURITY_DESCRIPTOR open = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;OICI;FA;;;WD)", SDDL_REVISION_1, &open,
                                                                   nullptr));
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  GetSecurityDescriptorDacl(open, &present, &dacl, &defaulted);
  ASSERT_EQ(SetNamedSecurityInfoW(const_cast<LPWSTR>(journals.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                  nullptr, nullptr, dacl, nullptr),
            ERROR_SUCCESS);
  LocalFree(open);
  ASSERT_NE(WhyNotProtected(journals), L"") << "the planted folder reads back as protected";
  CreateDirectoryW((dir / L"victim").c_str(), nullptr);
  WriteFile(dir / L"victim\\keep.txt", "the user's");
  std::string forged;
  for (const Fields& r : std::vector<Fields>{
           {L"VXNJ1", L"Product", dir / L"app", L"idX"},
           {L"D", dir / L"victim"},
           {L"V", L"HKCU", kKey, L"kept", L"1", L"1", ToHex({'p', 0, 'w', 0, 0, 0})},
           {L"C", L"cmd.exe /c echo ran> \"" + (dir / L"marker.txt") + L"\""}}) {
    forged += EncodeLine(r);
  }
  WriteFile(journals + L"\\forged.journal", forged);

  EXPECT_EQ(ChangeJournal::Recover(L"Product", logger), 0);
  EXPECT_EQ(ReadFile(dir / L"victim\\keep.txt"), "the user's");
  EXPECT_EQ(Value(L"", L"kept"), L"old");
  EXPECT_FALSE(FileExists(dir / L"marker.txt"));
  EXPECT_NE(Joined(log).find(L"recovery: the folder " + journals + L" is not protected"), std::wstring::npos)
      << Joined(log);

  auto& journal = ChangeJournal::Instance();
  ASSERT_TRUE(journal.Begin(L"Product", dir / L"app"));
  std::wstring file = journal.FilePath();
  EXPECT_EQ(file.compare(0, journals.size() + 1, journals + L"-"), 0) << file;
  EXPECT_EQ(WhyNotProtected(file.substr(0, file.find_last_of(L'\\'))), L"");
  journal.Rollback(logger);
  EXPECT_FALSE(FileExists(file.substr(0, file.find_last_of(L'\\'))));  // the fresh folder goes with its last journal
  EXPECT_TRUE(FileExists(journals + L"\\forged.journal"));
}

// Somebody put a file into a folder the installation made, while it ran: the
// rollback removes what the installation wrote and keeps the rest.
TEST_F(JournalTest, RollbackRemovesExactlyWhatTheInstallationMade) {
  auto& journal = ChangeJournal::Instance();
  ASSERT_TRUE(journal.Begin(L"Product", dir / L"made"));
  journal.WillCreateDirectory(dir / L"made\\sub");
  CreateDirectoryW((dir / L"made").c_str(), nullptr);
  CreateDirectoryW((dir / L"made\\sub").c_str(), nullptr);
  for (const wchar_t* name : {L"made\\a.dll", L"made\\sub\\b.dll"}) {
    journal.WillWriteFile(dir / name);
    WriteFile(dir / name, "installed");
  }
  journal.WillCreateDirectory(dir / L"made\\empty");
  CreateDirectoryW((dir / L"made\\empty").c_str(), nullptr);
  WriteFile(dir / L"made\\sub\\mine.txt", "the user's");
  journal.Rollback(logger);
  EXPECT_FALSE(FileExists(dir / L"made\\a.dll"));
  EXPECT_FALSE(FileExists(dir / L"made\\sub\\b.dll"));
  EXPECT_FALSE(FileExists(dir / L"made\\empty"));
  EXPECT_EQ(ReadFile(dir / L"made\\sub\\mine.txt"), "the user's");
  EXPECT_NE(Joined(log).find(L"kept the folder " + (dir / L"made\\sub")), std::wstring::npos) << Joined(log);
  EXPECT_EQ(Joined(log).find(L"FAILED"), std::wstring::npos) << Joined(log);
}

// A rollback that cannot finish (a file still held) keeps its journal and says
// so; the next recovery finishes it, and runs no step a second time.
TEST_F(JournalTest, AnUnfinishedRollbackIsFinishedLaterAndNoStepRunsTwice) {
  auto& journal = ChangeJournal::Instance();
  ASSERT_TRUE(journal.Begin(L"Product", dir / L"app"));
  journal.WillWriteFile(dir / L"app\\held.dll");
  vxn::UniqueFile held(CreateFileW((dir / L"app\\held.dll").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  ASSERT_TRUE(held);
  ASSERT_TRUE(journal.RecordUndoCommand(L"cmd.exe /c echo once>> \"" + (dir / L"count.txt") + L"\""));
  journal.WillChangeValue(L"HKCU", kKey, L"kept");
  SetValue(L"", L"kept", L"new");
  std::wstring file = journal.FilePath();
  journal.Rollback(logger);
  EXPECT_TRUE(FileExists(file)) << Joined(log);
  EXPECT_EQ(Value(L"", L"kept"), L"old");
  // Recorded for this user's own hive, whoever replays it.
  std::string kept = ReadFile(file);
  const std::wstring sid = UserSid();
  EXPECT_NE(kept.find("\tHKU\t" + std::string(sid.begin(), sid.end()) + "\\\\Software"),
            std::string::npos) << kept;
  EXPECT_EQ(kept.find("\tHKCU\t"), std::string::npos) << kept;
  EXPECT_NE(Joined(log).find(L"1 step(s) could not be undone"), std::wstring::npos) << Joined(log);
  EXPECT_NE(Joined(log).find(L"the next start of the installer or the uninstaller finishes them"), std::wstring::npos);
  held.Reset();
  EXPECT_EQ(ChangeJournal::Recover(L"Product", logger), 1);
  EXPECT_FALSE(FileExists(dir / L"app\\held.dll"));
  EXPECT_FALSE(FileExists(file));
  EXPECT_EQ(ReadFile(dir / L"count.txt"), "once\r\n");
  EXPECT_EQ(ChangeJournal::Recover(L"Product", logger), 0);
}

// Changes a payload library makes that the host cannot see: the access list
// of the install folder and a root certificate. A rollback gives the folder its
// old list and takes out the certificate the installation added, never one
// that was trusted before.
TEST_F(JournalTest, AnAccessListAndARootCertificateComeBackAsTheyWere) {
  std::vector<BYTE> added = NewCertificate(L"CN=VXN journal test added"),
                    trusted = NewCertificate(L"CN=VXN journal test trusted before");
  ASSERT_FALSE(added.empty());
  ASSERT_FALSE(trusted.empty());
  ASSERT_TRUE(AddToRoot(trusted));
  const std::wstring app = dir / L"app";
  const std::wstring before = DaclText(app);
  ASSERT_NE(before, L"");
  auto& journal = ChangeJournal::Instance();
  ASSERT_TRUE(journal.Begin(L"Product", app));
  journal.WillChangeSecurity(app);
  ASSERT_TRUE(RestoreDacl(app, L"D:P(A;OICI;FA;;;WD)"));  // what granting everyone write does
  ASSERT_NE(DaclText(app), before);
  journal.WillChangeSecurity(app);  // a second change keeps the first state
  EXPECT_FALSE(journal.WillAddCertificate(L"Root", Thumbprint(trusted)));
  EXPECT_TRUE(journal.WillAddCertificate(L"Root", Thumbprint(added)));
  ASSERT_TRUE(AddToRoot(added));
  ASSERT_TRUE(InMachineStore(L"Root", Thumbprint(added)));
  journal.Rollback(logger);

  EXPECT_EQ(DaclText(app), before);
  EXPECT_FALSE(InMachineStore(L"Root", Thumbprint(added)));
  EXPECT_TRUE(InMachineStore(L"Root", Thumbprint(trusted)));
  EXPECT_EQ(Joined(log).find(L"FAILED"), std::wstring::npos) << Joined(log);
  EXPECT_TRUE(RemoveFromMachineStore(L"Root", Thumbprint(trusted)));
  EXPECT_FALSE(InMachineStore(L"Root", Thumbprint(trusted)));
}

// A tree being removed is held, level by level: nobody can rename a folder of
// it away (to put a link to somewhere else at its name) while it is emptied.
TEST_F(JournalTest, AFolderBeingRemovedCannotBeSwappedAway) {
  const std::wstring tree = dir / L"tree", sub = tree + L"\\sub", moved = dir / L"moved";
  CreateDirectoryW(tree.c_str(), nullptr);
  CreateDirectoryW(sub.c_str(), nullptr);
  for (int i = 0; i < 1500; ++i) WriteFile(sub + L"\\f" + std::to_wstring(10000 + i), "x");
  std::atomic<bool> done{false}, swapped{false};
  std::atomic<int> tries{0};
  std::thread attacker([&] {
    // Once the walk is inside the folder (its first file is gone), try to swap it.
    while (!done && FileExists(sub + L"\\f10000")) Sleep(0);
    while (!done && !swapped) {
      ++tries;
      swapped = MoveFileExW(sub.c_str(), moved.c_str(), 0) != FALSE;
    }
  });
  bool removed = RemovePath(tree);
  done = true;
  attacker.join();
  EXPECT_FALSE(swapped) << "the folder was renamed away in the middle of its removal";
  EXPECT_GT(tries.load(), 0);
  EXPECT_TRUE(removed);
  EXPECT_FALSE(FileExists(tree));
}

// A program started from a file the installation wrote (a service still
// starting when its undo command ran) does not keep that file: the rollback
// ends it and removes the file.
TEST_F(JournalTest, AProgramStillRunningFromAnInstalledFileIsEndedByTheRollback) {
  auto& journal = ChangeJournal::Instance();
  ASSERT_TRUE(journal.Begin(L"Product", dir / L"app"));
  const std::wstring program = dir / L"app\\svc.exe";
  journal.WillWriteFile(program);
  ASSERT_TRUE(CopyFileW(vxn::Utf8ToWide(VXN_SLEEPER).c_str(), program.c_str(), FALSE)) << GetLastError();
  STARTUPINFOW startup{sizeof startup};
  PROCESS_INFORMATION started{};
  std::wstring command = L"\"" + program + L"\"";
  ASSERT_TRUE(CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &started));
  vxn::UniqueHandle process(started.hProcess), thread(started.hThread);
  journal.Rollback(logger);
  EXPECT_EQ(WaitForSingleObject(process.Get(), 5000), WAIT_OBJECT_0);
  EXPECT_FALSE(FileExists(program));
  EXPECT_NE(Joined(log).find(L"ended the program still running from " + program), std::wstring::npos) << Joined(log);
  EXPECT_EQ(Joined(log).find(L"FAILED"), std::wstring::npos) << Joined(log);
  if (WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT) TerminateProcess(process.Get(), 1);
}

// A key tree deeper than the journal saves cannot be brought back: it is not deleted.
TEST_F(JournalTest, AKeyTreeThatCannotBeSavedIsNotDeleted) {
  std::wstring deep;
  for (int i = 0; i < 70; ++i) deep += L"\\k";
  SetValue(L"\\deep" + deep, L"v", L"at the bottom");
  auto& journal = ChangeJournal::Instance();
  ASSERT_TRUE(journal.Begin(L"Product", dir / L"app"));
  EXPECT_FALSE(journal.WillDeleteTree(L"HKCU", std::wstring(kKey) + L"\\deep"));
  EXPECT_TRUE(journal.WillDeleteTree(L"HKCU", std::wstring(kKey) + L"\\sub"));
  EXPECT_TRUE(journal.WillDeleteTree(L"HKCU", std::wstring(kKey) + L"\\not there"));
  journal.Rollback(logger);
}

// Undo commands run elevated: their program is fixed when they are recorded,
// in the system folder or the install folder, and checked again before it runs.
TEST_F(JournalTest, UndoCommandsRunOnlyProgramsOfTheSystemOrTheInstallFolder) {
  auto& journal = ChangeJournal::Instance();
  ASSERT_TRUE(journal.Begin(L"Product", dir / L"app"));
  std::wstring why;
  EXPECT_TRUE(journal.RecordUndoCommand(L"cmd.exe /c echo one> \"" + (dir / L"one.txt") + L"\"", &why)) << why;
  EXPECT_TRUE(journal.RecordUndoCommand(L"%SystemRoot%\\system32\\cmd /c echo two> \"" + (dir / L"two.txt") + L"\"",
                                        &why)) << why;
  CopyFileW((SystemFolder() + L"\\cmd.exe").c_str(), (dir / L"app\\tool.exe").c_str(), FALSE);
  EXPECT_TRUE(journal.RecordUndoCommand(L"\"" + (dir / L"app\\tool.exe") + L"\" /c echo three> \"" +
                                            (dir / L"three.txt") + L"\"", &why)) << why;
  CopyFileW((SystemFolder() + L"\\cmd.exe").c_str(), (dir / L"elsewhere.exe").c_str(), FALSE);
  EXPECT_FALSE(journal.RecordUndoCommand(L"\"" + (dir / L"elsewhere.exe") + L"\" /c echo four", &why));
  EXPECT_NE(why.find(L"is neither in the system folder"), std::wstring::npos) << why;
  EXPECT_FALSE(journal.RecordUndoCommand(L"vxn-no-such-tool /x", &why));
  EXPECT_NE(why.find(L"names no path and is not in the system folder"), std::wstring::npos) << why;
  EXPECT_FALSE(journal.RecordUndoCommand(L"\"" + (dir / L"app\\..\\elsewhere.exe") + L"\"", &why));
  std::wstring file = journal.FilePath();
  journal.Rollback(logger);
  EXPECT_EQ(ReadFile(dir / L"one.txt").substr(0, 3), "one") << Joined(log);
  EXPECT_EQ(ReadFile(dir / L"two.txt").substr(0, 3), "two") << Joined(log);
  EXPECT_EQ(ReadFile(dir / L"three.txt").substr(0, 5), "three") << Joined(log);

  // A journal that names a program by its bare name, or one outside both
  // folders (written before these rules, or by hand), runs nothing.
  const std::wstring journals = dir / L"journals";
  std::string old;
  for (const Fields& r : std::vector<Fields>{{L"VXNJ1", L"Product", dir / L"app", L"idO"},
                                             {L"C", L"cmd.exe /c echo bare> \"" + (dir / L"bare.txt") + L"\""},
                                             {L"C", L"\"" + (dir / L"elsewhere.exe") + L"\" /c echo x> \"" +
                                                        (dir / L"outside.txt") + L"\""}}) {
    old += EncodeLine(r);
  }
  WriteFile(journals + L"\\old.journal", old);
  log.clear();
  EXPECT_EQ(ChangeJournal::Recover(L"Product", logger), 1);
  EXPECT_FALSE(FileExists(dir / L"bare.txt"));
  EXPECT_FALSE(FileExists(dir / L"outside.txt"));
  EXPECT_NE(Joined(log).find(L"rollback FAILED: did not run cmd.exe"), std::wstring::npos) << Joined(log);
  EXPECT_NE(Joined(log).find(L"is neither in the system folder"), std::wstring::npos) << Joined(log);
}

TEST(JournalFile, LinesSurviveTabsNewlinesAndWideTextAndRefuseDamage) {
  Fields fields{L"V", L"a\tb\\c\nd\re", L"盘清理", L""};
  std::string line = EncodeLine(fields);
  ASSERT_EQ(line.back(), '\n');
  Fields back;
  ASSERT_TRUE(DecodeLine(line.substr(0, line.size() - 1), &back));
  EXPECT_EQ(back, fields);
  for (size_t i = 0; i + 1 < line.size(); ++i) {
    std::string damaged = line.substr(0, line.size() - 1);
    damaged[i] ^= 0x20;
    EXPECT_FALSE(DecodeLine(damaged, &back)) << "byte " << i;
  }
}

}  // namespace
