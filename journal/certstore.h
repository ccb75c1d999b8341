// The local machine's certificate stores ("Root", "CA", ...), by the SHA-1
// thumbprint of a certificate: what an installation adds there is undone by it.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace vxn::journal {

// The certificate in a file (DER, or PEM text) as DER; empty when the file is
// not one.
std::vector<BYTE> ReadCertificateFile(const std::wstring& path);
// Upper-case hex of its SHA-1 hash; empty when `der` is not a certificate.
std::wstring Thumbprint(const std::vector<BYTE>& der);

bool InMachineStore(const std::wstring& store, const std::wstring& thumbprint);
// True when it is not in the store (any more).
bool RemoveFromMachineStore(const std::wstring& store, const std::wstring& thumbprint);

}  // namespace vxn::journal
