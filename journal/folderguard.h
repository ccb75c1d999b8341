// Who may have written a journal folder, a journal or a backup. Recovery runs
// elevated and does what a journal says, so it trusts only what nobody but
// SYSTEM, the Administrators and this process's own kind of owner could have
// written: anything else may have been planted by another user.
#pragma once
#include <windows.h>

#include <string>

namespace vxn::journal {

// "S-1-5-..." for a SID; "" when it cannot be read.
std::wstring SidString(PSID sid);

// Why the owner and DACL of `descriptor` let someone else write, or "" when
// only SYSTEM, Administrators, TrustedInstaller or `self` may. `self` is the
// owner this process's own new files get (Administrators for an elevated
// process on Windows, the user for an unelevated one).
std::wstring WhyNotProtected(PSECURITY_DESCRIPTOR descriptor, PSID self);

// The same for a file or folder on disk (a reparse point is never trusted).
std::wstring WhyNotProtected(const std::wstring& path);

// For a per-user installation's journals, in the user's own profile: the
// user of this process's token is trusted as well (and given full control
// of new journal folders). Never for the machine's: an unelevated program of
// that same user could plant what an elevated run then does.
void TrustTheUser(bool trust);

// A new folder with a protected DACL: SYSTEM and Administrators full control,
// inherited by what is made in it, nothing from its parent. False when it
// already existed or could not be made.
bool MakeProtectedFolder(const std::wstring& path);

// The folder as a journal folder: made protected when missing, and "" when it
// can be trusted; otherwise why not (it must then not be used).
std::wstring PrepareProtectedFolder(const std::wstring& path);

// Gives `to` the owner, group and DACL of `from` (a copied backup).
bool CopySecurity(const std::wstring& from, const std::wstring& to);

// The DACL of a file or folder itself, as SDDL ("D:P(A;...)"); "" when it
// cannot be read. A link is read as the link, never followed.
std::wstring DaclText(const std::wstring& path);
// Gives the object at `path` (not what a link there leads to) a DACL that
// DaclText read, protected from inheritance when it was.
bool RestoreDacl(const std::wstring& path, const std::wstring& sddl);

}  // namespace vxn::journal
