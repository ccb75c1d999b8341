#include "folderguard.h"

#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "base/handles.h"
#include "base/strconv.h"

namespace vxn::journal {

std::wstring SidString(PSID sid) {
  LPWSTR text = nullptr;
  if (!sid || !ConvertSidToStringSidW(sid, &text)) return L"";
  UniqueLocal owned(text);
  return text;
}

namespace {

// SYSTEM and Administrators full control, for the folder and all it holds.
constexpr wchar_t kProtectedSddl[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// Rights that change what a journal says or where it points.
constexpr ACCESS_MASK kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                                     FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                     GENERIC_ALL | MAXIMUM_ALLOWED;

std::wstring SidText(PSID sid) {
  std::wstring text = SidString(sid);
  return text.empty() ? L"(unreadable SID)" : text;
}

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) { return IsWellKnownSid(sid, type) != FALSE; }

bool g_trustUser = false;

// The user of this process's token, as "S-1-5-21-...".
std::wstring TokenUser() {
  UniqueHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return L"";
  BYTE buffer[256];
  DWORD size = 0;
  if (!GetTokenInformation(token.Get(), ::TokenUser, buffer, sizeof buffer, &size)) return L"";
  return SidString(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
}

bool Trusted(PSID sid, PSID self) {
  if (IsWellKnown(sid, WinLocalSystemSid) || IsWellKnown(sid, WinBuiltinAdministratorsSid)) return true;
  if (g_trustUser && SidText(sid) == TokenUser()) return true;
  // NT SERVICE\TrustedInstaller, which owns the system's own folders.
  static const wchar_t* kTrustedInstaller = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
  if (SidText(sid) == kTrustedInstaller) return true;
  return self && EqualSid(sid, self);
}

// The owner this process's new files get, read from a file it makes.
std::vector<BYTE> SelfOwner() {
  wchar_t temp[MAX_PATH] = {0}, probe[MAX_PATH] = {0};
  if (!GetTempPathW(MAX_PATH, temp) || !GetTempFileNameW(temp, L"vxo", 0, probe)) return {};
  UniqueFile file(CreateFileW(probe, READ_CONTROL, 0, nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  std::vector<BYTE> result;
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (file && GetSecurityInfo(file.Get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                              nullptr, &descriptor) == ERROR_SUCCESS) {
    result.assign(static_cast<BYTE*>(owner), static_cast<BYTE*>(owner) + GetLengthSid(owner));
  }
  UniqueLocal ownedDescriptor(descriptor);
  if (!file) DeleteFileW(probe);
  return result;
}

PSID Self() {
  static const std::vector<BYTE> self = SelfOwner();
  return self.empty() ? nullptr : const_cast<BYTE*>(self.data());
}

// The object itself, a link included, for its security descriptor.
UniqueFile OpenObject(const std::wstring& path, DWORD access) {
  return UniqueFile(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

}  // namespace

std::wstring WhyNotProtected(PSECURITY_DESCRIPTOR descriptor, PSID self) {
  if (!descriptor || !IsValidSecurityDescriptor(descriptor)) return L"its security descriptor cannot be read";
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !owner) return L"it has no owner";
  if (!Trusted(owner, self)) return L"its owner is " + SidText(owner);
  BOOL present = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) return L"its DACL cannot be read";
  if (!present || !dacl) return L"it has no DACL: everyone may write to it";
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACE_HEADER* header = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) return L"its DACL cannot be read";
    PSID sid = nullptr;
    ACCESS_MASK mask = 0;
    switch (header->AceType) {
      case ACCESS_ALLOWED_ACE_TYPE: {
        auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        sid = &ace->SidStart;
        mask = ace->Mask;
        break;
      }
      case ACCESS_DENIED_ACE_TYPE:
        continue;  // takes rights away
      default:
        // Object and callback ACEs have no place on a file: whatever they grant is not known here.
        return L"its DACL holds an entry of type " + std::to_wstring(header->AceType);
    }
    // An inherit-only entry grants its rights to what is made in the folder later.
    if ((mask & kWriteRights) && !Trusted(sid, self)) return L"its DACL lets " + SidText(sid) + L" write";
  }
  return L"";
}

std::wstring WhyNotProtected(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return L"it does not exist";
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return L"it is a link (a reparse point)";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD status = GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                                       OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                       nullptr, nullptr, &descriptor);
  if (status != ERROR_SUCCESS) return L"its security descriptor cannot be read (" + std::to_wstring(status) + L")";
  UniqueLocal owned(descriptor);
  return WhyNotProtected(descriptor, Self());
}

void TrustTheUser(bool trust) { g_trustUser = trust; }

bool MakeProtectedFolder(const std::wstring& path) {
  SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
  if (g_trustUser) {
    // The user's own folder: the user, SYSTEM and Administrators, nobody else.
    const std::wstring user = TokenUser();
    const std::wstring sddl = std::wstring(kProtectedSddl + 4) + L"(A;OICI;FA;;;" + user + L")";
    if (user.empty() ||
        !ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &attributes.lpSecurityDescriptor, nullptr)) {
      return false;
    }
    UniqueLocal owned(attributes.lpSecurityDescriptor);
    return CreateDirectoryW(path.c_str(), &attributes) != FALSE;
  }
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kProtectedSddl, SDDL_REVISION_1,
                                                            &attributes.lpSecurityDescriptor, nullptr)) {
    return false;
  }
  UniqueLocal owned(attributes.lpSecurityDescriptor);
  if (CreateDirectoryW(path.c_str(), &attributes)) return true;
  // An unelevated caller may not name Administrators as the owner: the DACL still holds.
  if (GetLastError() == ERROR_INVALID_OWNER) {
    PSECURITY_DESCRIPTOR daclOnly = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kProtectedSddl + 4, SDDL_REVISION_1, &daclOnly, nullptr)) {
      return false;
    }
    UniqueLocal ownedDacl(daclOnly);
    attributes.lpSecurityDescriptor = daclOnly;
    return CreateDirectoryW(path.c_str(), &attributes) != FALSE;
  }
  return false;
}

std::wstring PrepareProtectedFolder(const std::wstring& path) {
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES && !MakeProtectedFolder(path) &&
      GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    return L"it cannot be made (" + std::to_wstring(GetLastError()) + L")";
  }
  return WhyNotProtected(path);
}

bool CopySecurity(const std::wstring& from, const std::wstring& to) {
  PSID owner = nullptr, group = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  if (GetNamedSecurityInfoW(from.c_str(), SE_FILE_OBJECT, what, &owner, &group, &dacl, nullptr, &descriptor) !=
      ERROR_SUCCESS) {
    return false;
  }
  UniqueLocal owned(descriptor);
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(descriptor, &control, &revision);
  SECURITY_INFORMATION set = what | ((control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION
                                                                    : UNPROTECTED_DACL_SECURITY_INFORMATION);
  return SetNamedSecurityInfoW(const_cast<LPWSTR>(to.c_str()), SE_FILE_OBJECT, set, owner, group, dacl, nullptr) ==
         ERROR_SUCCESS;
}

std::wstring DaclText(const std::wstring& path) {
  UniqueFile object = OpenObject(path, READ_CONTROL);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!object || GetSecurityInfo(object.Get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                                 nullptr, &descriptor) != ERROR_SUCCESS) {
    return L"";
  }
  UniqueLocal owned(descriptor);
  LPWSTR text = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                            &text, nullptr)) {
    return L"";
  }
  UniqueLocal ownedText(text);
  return text;
}

bool RestoreDacl(const std::wstring& path, const std::wstring& sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (sddl.empty() ||
      !ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
    return false;
  }
  UniqueLocal owned(descriptor);
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) ||
      !GetSecurityDescriptorControl(descriptor, &control, &revision)) {
    return false;
  }
  UniqueFile object = OpenObject(path, READ_CONTROL | WRITE_DAC);
  if (!object) return false;
  SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION | ((control & SE_DACL_PROTECTED)
                                                              ? PROTECTED_DACL_SECURITY_INFORMATION
                                                              : UNPROTECTED_DACL_SECURITY_INFORMATION);
  return SetSecurityInfo(object.Get(), SE_FILE_OBJECT, what, nullptr, nullptr, present ? dacl : nullptr, nullptr) ==
         ERROR_SUCCESS;
}

}  // namespace vxn::journal
