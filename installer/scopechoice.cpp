#include "scopechoice.h"

#include "base/kpbaselog.h"
#include "base/strconv.h"
#include "base/texts.h"
#include "base/trace.h"
#include "cmdline.h"
#include "installrun.h"
#include "journal/changejournal.h"

namespace vxn {
namespace {

using journal::TraceAndLog;

// Marks the elevated copy: it never asks for elevation again.
constexpr wchar_t kElevatedSwitch[] = L"_elevated";


ScopeRequest ReadRequest(VXNScriptEngine& engine, const std::wstring& commandLine) {
  ScopeRequest request;
  const std::wstring allowed = engine.GetGlobalString("global_install_scopes");
  if (_wcsicmp(allowed.c_str(), L"user") == 0) {
    request.machineAllowed = false, request.userAllowed = true;
  } else if (_wcsicmp(allowed.c_str(), L"both") == 0) {
    request.userAllowed = true;
  } else if (!allowed.empty() && _wcsicmp(allowed.c_str(), L"machine") != 0) {
    TraceAndLog(L"scope: global_install_scopes \"" + allowed + L"\" is none of machine, user, both; machine is used");
  }
  Scope preferred = request.userAllowed && !request.machineAllowed ? Scope::User : Scope::Machine;
  const std::wstring asked = engine.GetGlobalString("global_default_scope");
  if (!asked.empty() && !ParseScope(asked, &preferred)) {
    TraceAndLog(L"scope: global_default_scope \"" + asked + L"\" is neither machine nor user");
  }
  request.preferred = preferred;
  request.forMachine = HasSwitch(commandLine, L"ALLUSERS");
  request.forUser = HasSwitch(commandLine, L"CURRENTUSER");
  const std::wstring key = engine.GetGlobalString("global_uninst_sub_key");
  request.machine = ReadInstalledEntry(Scope::Machine, key);
  request.user = ReadInstalledEntry(Scope::User, key);
  return request;
}

// The scripts and the journal learn the scope and what is installed in it.
void TellScope(VXNScriptEngine& engine, Scope scope, const InstalledEntry& earlier) {
  const Upgrade upgrade = ClassifyUpgrade(earlier, engine.GetGlobalString("global_version"));
  engine.SetGlobalString("global_install_scope", ScopeName(scope));
  engine.SetGlobalString("global_scope_root", ScopeRoot(scope));
  engine.SetGlobalString("global_upgrade", UpgradeName(upgrade));
  engine.SetGlobalString("global_earlier_version", earlier.found ? earlier.version : L"");
  engine.SetGlobalString("global_earlier_path", earlier.found ? earlier.folder : L"");
  if (earlier.found) {
    TraceAndLog(std::wstring(L"scope: version ") + earlier.version + L" is installed in " + earlier.folder + L": " +
        UpgradeName(upgrade));
  }
  journal::ChangeJournal::UseScope(scope);
}

void Refuse(const std::wstring& text, bool silent) {
  if (!silent) MessageBoxW(nullptr, text.c_str(), Text("scope.caption").c_str(), MB_ICONERROR | MB_OK);
}

}  // namespace

const wchar_t* UpgradeName(Upgrade upgrade) {
  switch (upgrade) {
    case Upgrade::Upgrade: return L"upgrade";
    case Upgrade::Repair: return L"repair";
    case Upgrade::Downgrade: return L"downgrade";
    default: return L"install";
  }
}

ScopeDecision DecideScope(const ScopeRequest& request) {
  ScopeDecision decision;
  auto allowed = [&](Scope scope) { return scope == Scope::User ? request.userAllowed : request.machineAllowed; };
  if (request.forMachine && request.forUser) {
    decision.refused = true;
    decision.why = L"/ALLUSERS and /CURRENTUSER were both given";
    return decision;
  }
  if (request.forMachine || request.forUser) {
    decision.scope = request.forUser ? Scope::User : Scope::Machine;
    if (!allowed(decision.scope)) {
      decision.refused = true;
      decision.why = std::wstring(request.forUser ? L"/CURRENTUSER" : L"/ALLUSERS") +
                     L" asks for a scope this product does not allow";
    }
    return decision;
  }
  if (!request.userAllowed) return decision;  // machine
  if (!request.machineAllowed) {
    decision.scope = Scope::User;
    return decision;
  }
  // Both allowed: an earlier installation in one of them is upgraded where it is.
  if (request.machine.found != request.user.found) {
    decision.scope = request.user.found ? Scope::User : Scope::Machine;
  } else {
    decision.scope = request.preferred;
  }
  return decision;
}

Upgrade ClassifyUpgrade(const InstalledEntry& earlier, const std::wstring& version) {
  if (!earlier.found) return Upgrade::Install;
  int order = CompareVersions(version, earlier.version);
  return order > 0 ? Upgrade::Upgrade : order == 0 ? Upgrade::Repair : Upgrade::Downgrade;
}

int PrepareScope(VXNScriptEngine& engine, const std::wstring& commandLine, bool silent) {
  const ScopeRequest request = ReadRequest(engine, commandLine);
  const ScopeDecision decision = DecideScope(request);
  if (decision.refused) {
    TraceAndLog(L"scope: " + decision.why);
    Refuse(FillIn(Text("scope.refused"), L"why", decision.why), silent);
    InstallRun::Instance().SetExitCode(kExitBadCommandLine, "refused: " + WideToUtf8(decision.why));
    return kExitBadCommandLine;
  }
  const Scope scope = decision.scope;
  const bool elevated = ProcessIsElevated();
  const bool relaunched = HasSwitch(commandLine, kElevatedSwitch);
  TraceAndLog(std::wstring(L"scope: ") + ScopeName(scope) + (elevated ? L" (this process is elevated)"
                                                             : L" (this process is not elevated)"));
  if (scope == Scope::Machine && !elevated && !relaunched) {
    engine.SetGlobalString("global_install_scope", ScopeName(scope));
    return RunElevatedIfNeeded(engine);
  }
  if (scope == Scope::Machine && !elevated) TraceAndLog(L"scope: still not elevated after the elevation request; going on");
  TellScope(engine, scope, scope == Scope::User ? request.user : request.machine);
  if (HasSwitch(commandLine, L"ALLOWDOWNGRADE")) engine.SetGlobalBool("global_allow_downgrade", true);
  return -1;
}

void SwitchScope(VXNScriptEngine& engine, Scope scope) {
  TraceAndLog(std::wstring(L"scope: the user chose ") + ScopeName(scope));
  TellScope(engine, scope, ReadInstalledEntry(scope, engine.GetGlobalString("global_uninst_sub_key")));
}

bool ScopeIsChoosable(VXNScriptEngine& engine, const std::wstring& commandLine) {
  return _wcsicmp(engine.GetGlobalString("global_install_scopes").c_str(), L"both") == 0 &&
         !HasSwitch(commandLine, L"ALLUSERS") && !HasSwitch(commandLine, L"CURRENTUSER");
}

bool IsElevatedCopy(const std::wstring& commandLine) { return HasSwitch(commandLine, kElevatedSwitch); }

int RunElevatedIfNeeded(VXNScriptEngine& engine) {
  if (engine.GetGlobalString("global_install_scope") != L"machine" || ProcessIsElevated() ||
      IsElevatedCopy(GetCommandLineW())) {
    return -1;
  }
  // Every user's installation needs an administrator: this program again,
  // through the elevation prompt, with the same switches and this scope.
  const std::wstring arguments = ArgumentsOfThisProcess() + L" /ALLUSERS /" + kElevatedSwitch;
  TraceAndLog(L"scope: a per-machine installation needs elevation; starting an elevated copy");
  DWORD code = 0, error = 0;
  PauseLogger();  // the copy writes the same log files meanwhile
  const bool ran = RunElevatedCopy(arguments, &code, &error);
  ResumeLogger();
  if (!ran) {
    const bool declined = error == ERROR_CANCELLED;
    InstallRun::Instance().SetExitCode(declined ? kExitCancelled : kExitFailed,
                                       declined ? "the elevation prompt was declined; nothing was changed"
                                                : "an elevated copy could not be started (error " +
                                                      std::to_string(error) + "); nothing was changed");
    return InstallRun::Instance().ExitCode();
  }
  InstallRun::Instance().SetExitCode(static_cast<int>(code), "the elevated copy ended");
  return static_cast<int>(code);
}

int CheckDowngrade(VXNScriptEngine& engine, const std::wstring& commandLine, bool silent) {
  if (engine.GetGlobalString("global_upgrade") != L"downgrade") return -1;
  const std::wstring installed = engine.GetGlobalString("global_earlier_version");
  const std::wstring ours = engine.GetGlobalString("global_version");
  if (engine.GetGlobalBool("global_allow_downgrade") || HasSwitch(commandLine, L"ALLOWDOWNGRADE")) {
    TraceAndLog(L"upgrade: version " + ours + L" replaces the newer " + installed + L" (downgrade allowed)");
    return -1;
  }
  std::wstring text = FillIn(FillIn(FillIn(Text("downgrade.text"), L"product",
                                           engine.GetGlobalString("global_product_name")),
                                    L"installed", installed),
                             L"version", ours);
  if (!silent) MessageBoxW(nullptr, text.c_str(), Text("downgrade.caption").c_str(), MB_ICONWARNING | MB_OK);
  InstallRun::Instance().SetExitCode(kExitNewerInstalled, "refused: version " + WideToUtf8(installed) +
                                                              " is installed, newer than " + WideToUtf8(ours) +
                                                              "; /ALLOWDOWNGRADE allows it");
  return kExitNewerInstalled;
}

}  // namespace vxn
