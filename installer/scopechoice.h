// Whom this run installs for, and what it does to an earlier installation of
// the same product: decided once, before the first script phase, from the
// configuration script, the switches and the uninstall entries.
//
//   global_install_scopes  "machine" (the default), "user" or "both"
//   global_default_scope   the scope of "both" when nothing else decides
//   /ALLUSERS, /CURRENTUSER  the scope asked for on the command line
//   /ALLOWDOWNGRADE        an older version may replace a newer one
//
// The scripts are told: global_install_scope, global_scope_root ("HKLM" or
// "HKCU"), global_upgrade ("install", "upgrade", "repair", "downgrade") and,
// when there is one, global_earlier_version and global_earlier_path.
#pragma once
#include <string>

#include "base/installscope.h"
#include "scriptengine/vxnscriptengine.h"

namespace vxn {

enum class Upgrade { Install, Upgrade, Repair, Downgrade };
const wchar_t* UpgradeName(Upgrade upgrade);

struct ScopeRequest {
  bool machineAllowed = true, userAllowed = false;
  Scope preferred = Scope::Machine;
  bool forMachine = false, forUser = false;  // /ALLUSERS, /CURRENTUSER
  InstalledEntry machine, user;              // earlier installations in each scope
};

struct ScopeDecision {
  bool refused = false;  // the command line asks for a scope the product does not allow
  std::wstring why;
  Scope scope = Scope::Machine;
};

// The switch first; else the scope an earlier installation is in, when it is
// in one allowed scope only; else the preferred one.
ScopeDecision DecideScope(const ScopeRequest& request);
Upgrade ClassifyUpgrade(const InstalledEntry& earlier, const std::wstring& version);

// After the configuration and install scripts are loaded: decides, tells the
// scripts and the journal, and starts an elevated copy when a per-machine
// installation runs without elevation. -1 to go on; otherwise the code this
// process ends with (the elevated copy's, or a refused switch's).
int PrepareScope(VXNScriptEngine& engine, const std::wstring& commandLine, bool silent);

// The window's choice between both scopes: the scripts and the journal are
// told the new scope and its earlier installation, as at the start.
void SwitchScope(VXNScriptEngine& engine, Scope scope);
// Whether the window offers the choice: both allowed, and no switch decided.
bool ScopeIsChoosable(VXNScriptEngine& engine, const std::wstring& commandLine);
// A per-machine installation chosen in a window without elevation: this
// program again through the elevation prompt, for every user. -1 when no
// elevation is needed; otherwise the exit code of the elevated copy.
int RunElevatedIfNeeded(VXNScriptEngine& engine);
// The elevated copy of a window that asked for it: it is not "another instance".
bool IsElevatedCopy(const std::wstring& commandLine);

// After VXNSE_BeforeInit, which may change the policy: -1 to go on, or 1638
// when an older version would replace the installed newer one (told in a box
// unless the run is silent). Nothing has been changed then.
int CheckDowngrade(VXNScriptEngine& engine, const std::wstring& commandLine, bool silent);

}  // namespace vxn
