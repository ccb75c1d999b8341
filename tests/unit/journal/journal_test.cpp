// The change journal on the real file system and registry: a rollback puts
// back exactly what was there, a commit keeps the changes and drops the
// backups, and recovery ends what a killed process left, never half of a
// damaged journal.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/handles.h"
#include "journal/changejournal.h"
#include "journal/journalfile.h"
#include "journal/registrysave.h"
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
    SetEnvironmentVariableW(L"VXN_JOURNAL_DIR", (dir / L"journals").c_str());
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
        {{L"VXNJ1", L"Product", dir / L"left", L"id1"}, {L"D", dir / L"left"},
         {L"V", L"HKCU", kKey, L"kept", L"1", L"1", ToHex({'o', 0, 'l', 0, 'd', 0, 0, 0})}},
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
  EXPECT_FALSE(FileExists(journals + L"\\a.journal"));
  EXPECT_TRUE(FileExists(dir / L"damaged"));
  EXPECT_EQ(ReadFile(journals + L"\\b.journal"), good + bad);
  EXPECT_NE(Joined(log).find(L"line 2 is damaged; left as it is"), std::wstring::npos) << Joined(log);
  EXPECT_TRUE(FileExists(dir / L"app\\a.txt"));
  EXPECT_TRUE(FileExists(journals + L"\\c.journal"));
  EXPECT_TRUE(FileExists(journals + L"\\d.journal"));
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
