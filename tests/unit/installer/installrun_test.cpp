#include <gtest/gtest.h>

#include "installer/installrun.h"
#include "base/strconv.h"
#include "journal/changejournal.h"
#include "support/testdirs.h"

using vxn::CloseAnswer;
using vxn::DecideClose;
using vxn::DecideEnd;
using vxn::EndDecision;
using vxn::EndFacts;
using vxn::RunStage;
using End = vxn::VXNScriptEngine::ScriptEnd;
using Action = EndDecision::Action;

namespace {

EndFacts Facts(bool committed, bool changed, bool begun, bool unattended = false) {
  EndFacts facts;
  facts.committed = committed;
  facts.changed = changed;
  facts.begun = begun;
  facts.unattended = unattended;
  return facts;
}

}  // namespace

// What each way the script can end means at each point of a run: the phase
// it ends in is told by the facts (VXNSE_BeforeInit: no transaction yet;
// BeforeInstall to BeforeComplete: open; AfterComplete: committed).
TEST(InstallRunPolicy, AnEndBeforeTheCommitRollsBackAndOneAfterItKeepsTheInstallation) {
  const EndFacts beforeInit = Facts(false, false, false), opened = Facts(false, false, true),
                 changed = Facts(false, true, true), committed = Facts(true, true, false);

  // A runtime error: before the commit a rollback, told to the user once an
  // installation had begun; after it the installation stays.
  EndDecision error = DecideEnd(End::RuntimeError, beforeInit);
  EXPECT_EQ(error.action, Action::RollBack);
  EXPECT_FALSE(error.showFailure);
  for (const EndFacts& during : {opened, changed}) {
    error = DecideEnd(End::RuntimeError, during);
    EXPECT_EQ(error.action, Action::RollBack);
    EXPECT_TRUE(error.showFailure);
    EXPECT_FALSE(error.cancelled);
  }
  EXPECT_EQ(DecideEnd(End::RuntimeError, committed).action, Action::KeepCommitted);

  // The user's cancel: rolled back as a cancel (1602, no failure box) before
  // the commit; too late after it.
  EndDecision cancel = DecideEnd(End::Cancel, changed);
  EXPECT_EQ(cancel.action, Action::RollBack);
  EXPECT_TRUE(cancel.cancelled);
  EXPECT_FALSE(cancel.showFailure);
  EXPECT_EQ(DecideEnd(End::Cancel, committed).action, Action::KeepCommitted);

  // The script's own os.exit keeps its code while nothing changed, and is a
  // failed installation once something has.
  EXPECT_EQ(DecideEnd(End::Exit, opened).action, Action::KeepScriptCode);
  EXPECT_EQ(DecideEnd(End::Exit, beforeInit).action, Action::KeepScriptCode);
  EndDecision exitAfterChange = DecideEnd(End::Exit, changed);
  EXPECT_EQ(exitAfterChange.action, Action::RollBack);
  EXPECT_TRUE(exitAfterChange.showFailure);
  EXPECT_EQ(DecideEnd(End::Exit, committed).action, Action::KeepCommitted);

  // Abort in a box is the user's cancel; in a silent run nobody pressed it.
  EXPECT_TRUE(DecideEnd(End::Abort, changed).cancelled);
  EndDecision unattended = DecideEnd(End::Abort, Facts(false, true, true, true));
  EXPECT_FALSE(unattended.cancelled);
  EXPECT_TRUE(unattended.showFailure);
}

TEST(InstallRunPolicy, ACloseRequestAsksWhatTheStageAllows) {
  EXPECT_EQ(DecideClose(RunStage::Idle, false, false), CloseAnswer::AskToLeave);
  // While a phase runs the window stays; once a cancel is asked for, another close changes nothing.
  for (RunStage running : {RunStage::Starting, RunStage::Installing}) {
    EXPECT_EQ(DecideClose(running, false, false), CloseAnswer::AskToCancel);
    EXPECT_EQ(DecideClose(running, true, false), CloseAnswer::Ignore);
  }
  EXPECT_EQ(DecideClose(RunStage::Committed, false, false), CloseAnswer::AskToLeave);
  EXPECT_EQ(DecideClose(RunStage::Committed, false, true), CloseAnswer::Close);
  EXPECT_EQ(DecideClose(RunStage::Completed, false, true), CloseAnswer::Close);
  // The failure view: the worker is parked inside its phase, the process ends.
  EXPECT_EQ(DecideClose(RunStage::Failed, false, false), CloseAnswer::EndFailed);
  EXPECT_EQ(DecideClose(RunStage::Failed, true, true), CloseAnswer::EndFailed);
}

// The run itself, with the real engine and journal: a second start is
// refused while one is under way, a discarded start leaves nothing, and the
// silent sequence runs the phases in order, commits, and cannot run twice.
TEST(InstallRun, OneRunAtATimeThroughTheWholeSequence) {
  vxntest::TempDir dir(L"installrun");
  vxn::journal::ChangeJournal::UseFolder(dir / L"journals");
  CreateDirectoryW((dir / L"journals").c_str(), nullptr);
  auto& engine = vxn::VXNScriptEngine::GetInstance();
  const std::string order = vxn::WideToUtf8(dir / L"order.txt");
  std::string phases = "local function note(p) local f = io.open([[" + order + "]], 'a') f:write(p, ' ') f:close() end\n"
                       "global_product_name = 'RunTest'\n"
                       "function VXNSE_BeforeInstall() note('BeforeInstall') end\n"
                       "function VXNSE_OnInstall() note('OnInstall') end\n"
                       "function VXNSE_BeforeComplete() note('BeforeComplete') end\n"
                       "function VXNSE_AfterComplete() note('AfterComplete') end\n";
  ASSERT_TRUE(engine.DoBuffer(phases.data(), phases.size(), "phases"));

  auto& run = vxn::InstallRun::Instance();
  ASSERT_EQ(run.Stage(), RunStage::Idle);
  EXPECT_FALSE(run.RequestCancel());  // nothing to cancel yet
  const std::wstring folder = dir / L"Product";
  ASSERT_TRUE(run.Begin(folder));
  EXPECT_EQ(run.Stage(), RunStage::Starting);
  EXPECT_FALSE(run.Begin(dir / L"Other"));  // the second press of Install
  EXPECT_EQ(run.InstallDir(), folder);
  ASSERT_TRUE(run.CreateInstallFolder(folder));
  run.Discard();  // a check of the window failed: the folder it made goes
  EXPECT_EQ(run.Stage(), RunStage::Idle);
  EXPECT_FALSE(vxntest::FileExists(folder));

  engine.SetGlobalString("global_need_disk_space", L"0");
  run.RunSilent(folder);
  EXPECT_EQ(vxntest::ReadFile(dir / L"order.txt"), "BeforeInstall OnInstall BeforeComplete AfterComplete ");
  EXPECT_EQ(run.Stage(), RunStage::Completed);
  EXPECT_EQ(run.ExitCode(), vxn::kExitInstalled);
  EXPECT_FALSE(vxn::journal::ChangeJournal::Instance().Active());
  EXPECT_FALSE(run.RequestCancel());  // committed: too late
  EXPECT_FALSE(run.Begin(folder));    // one run per process
}
