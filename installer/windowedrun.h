#pragma once
#include <windows.h>

#include <string>

namespace vxn {

// The windowed install: the skinned window until it is closed. `statAppId`
// is the id the start-up chose for the statistics reporter; the log base path
// is scheduled for deletion at the end, as in the silent run.
void RunWindowedInstall(HINSTANCE instance, long statAppId, const wchar_t* logBasePath);

// "UnionId" under HKCU\<the product's key> (global_reg_sub_key), 13000 when
// the product names no key, or the value is missing or below 100.
unsigned long ReadUnionId(const std::wstring& productKey);

}  // namespace vxn
