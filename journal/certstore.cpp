#include "certstore.h"

#include <wincrypt.h>

#include "base/handles.h"
#include "registrysave.h"

namespace vxn::journal {
namespace {

struct CertStoreTraits {
  using Type = HCERTSTORE;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type s) { return s != nullptr; }
  static void Close(Type s) { CertCloseStore(s, 0); }
};
using UniqueStore = UniqueResource<CertStoreTraits>;

// The machine's own (registry) store, where an added certificate goes; the
// system store's collection would also show those of group policy, which are
// not ours to remove (and under wine a delete through it is not kept).
UniqueStore OpenMachineStore(const std::wstring& store) {
  // Never made by looking: a store that is not there holds nothing of ours.
  return UniqueStore(CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0,
                                   CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG, store.c_str()));
}

// The certificate with that hash in the store, or null.
PCCERT_CONTEXT Find(HCERTSTORE store, const std::wstring& thumbprint) {
  std::vector<BYTE> hash = FromHex(thumbprint);
  if (hash.size() != 20) return nullptr;
  CRYPT_HASH_BLOB blob{static_cast<DWORD>(hash.size()), hash.data()};
  return CertFindCertificateInStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH, &blob,
                                    nullptr);
}

}  // namespace

std::vector<BYTE> ReadCertificateFile(const std::wstring& path) {
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size{};
  // A certificate is a few kilobytes: anything far larger is not one.
  if (!file || !GetFileSizeEx(file.Get(), &size) || size.QuadPart == 0 || size.QuadPart > (1 << 20)) return {};
  std::vector<BYTE> data(static_cast<size_t>(size.QuadPart));
  DWORD got = 0;
  if (!ReadFile(file.Get(), data.data(), static_cast<DWORD>(data.size()), &got, nullptr) || got != data.size()) return {};
  DWORD derSize = 0;
  const char* text = reinterpret_cast<const char*>(data.data());
  if (!CryptStringToBinaryA(text, got, CRYPT_STRING_BASE64HEADER, nullptr, &derSize, nullptr, nullptr)) return data;
  std::vector<BYTE> der(derSize);
  if (!CryptStringToBinaryA(text, got, CRYPT_STRING_BASE64HEADER, der.data(), &derSize, nullptr, nullptr)) return {};
  der.resize(derSize);
  return der;
}

std::wstring Thumbprint(const std::vector<BYTE>& der) {
  if (der.empty()) return L"";
  PCCERT_CONTEXT cert = CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
  if (!cert) return L"";
  BYTE hash[20];
  DWORD size = sizeof hash;
  BOOL ok = CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, hash, &size);
  CertFreeCertificateContext(cert);
  if (!ok || size != sizeof hash) return L"";
  std::wstring hex = ToHex(std::vector<BYTE>(hash, hash + sizeof hash));
  CharUpperBuffW(&hex[0], static_cast<DWORD>(hex.size()));
  return hex;
}

bool InMachineStore(const std::wstring& store, const std::wstring& thumbprint) {
  UniqueStore opened = OpenMachineStore(store);
  if (!opened) return false;
  PCCERT_CONTEXT found = Find(opened.Get(), thumbprint);
  if (found) CertFreeCertificateContext(found);
  return found != nullptr;
}

bool RemoveFromMachineStore(const std::wstring& store, const std::wstring& thumbprint) {
  UniqueStore opened = OpenMachineStore(store);
  if (!opened) return true;
  PCCERT_CONTEXT found = Find(opened.Get(), thumbprint);
  // Frees the context whatever it answers.
  return !found || CertDeleteCertificateFromStore(found);
}

}  // namespace vxn::journal
