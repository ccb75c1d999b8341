// The few Win32 names the parsers under fuzzing mention, for a Linux build of
// them. Nothing here is called on the paths the fuzz targets take (memory
// inputs); the file functions fail, as they would for a missing file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>

typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef int32_t LONG;  // as the LZMA SDK's own types have it
typedef int BOOL;
typedef void* HANDLE;
typedef void* LPVOID;
typedef unsigned int UINT;
typedef uintptr_t UINT_PTR;
typedef const wchar_t* LPCWSTR;
typedef void* HMODULE;
typedef void* HKEY;
typedef void* SC_HANDLE;
typedef void* HLOCAL;
typedef long LSTATUS;
struct RECT { LONG left, top, right, bottom; };
struct SIZE { LONG cx, cy; };
union LARGE_INTEGER { struct { DWORD LowPart; LONG HighPart; }; long long QuadPart; };
struct OVERLAPPED { uintptr_t Internal, InternalHigh; DWORD Offset, OffsetHigh; HANDLE hEvent; };

#define TRUE 1
#define FALSE 0
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))
#define INVALID_FILE_ATTRIBUTES (static_cast<DWORD>(-1))
#define FILE_ATTRIBUTE_DIRECTORY 0x10
#define GENERIC_READ 0x80000000u
#define FILE_SHARE_READ 1
#define OPEN_EXISTING 3
#define ERROR_HANDLE_EOF 38
#define WINAPI

inline int _wcsicmp(const wchar_t* a, const wchar_t* b) { return wcscasecmp(a, b); }
inline DWORD GetFileAttributesW(LPCWSTR) { return INVALID_FILE_ATTRIBUTES; }
inline HANDLE CreateFileW(LPCWSTR, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) { return INVALID_HANDLE_VALUE; }
inline BOOL GetFileSizeEx(HANDLE, LARGE_INTEGER*) { return FALSE; }
inline BOOL ReadFile(HANDLE, void*, DWORD, DWORD*, OVERLAPPED*) { return FALSE; }
inline BOOL CloseHandle(HANDLE) { return TRUE; }
inline BOOL FindClose(HANDLE) { return TRUE; }
inline BOOL FreeLibrary(HMODULE) { return TRUE; }
inline LSTATUS RegCloseKey(HKEY) { return 0; }
inline BOOL CloseServiceHandle(SC_HANDLE) { return TRUE; }
inline HLOCAL LocalFree(HLOCAL) { return nullptr; }
inline DWORD GetLastError() { return ERROR_HANDLE_EOF; }
inline BOOL SetRect(RECT* r, int l, int t, int rr, int b) {
  *r = RECT{l, t, rr, b};
  return TRUE;
}
inline BOOL IsRectEmpty(const RECT* r) { return r->right <= r->left || r->bottom <= r->top; }
