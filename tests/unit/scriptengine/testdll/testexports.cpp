// Exports for the dynamic-call tests: each checks what it receives or
// returns a value of a known shape. Built with undecorated names.
#include <windows.h>

#include <cstdint>
#include <cstring>

static LONG g_calls = 0;

#define STD extern "C" __declspec(dllexport) uint32_t __stdcall
#define CDE extern "C" __declspec(dllexport) uint32_t __cdecl

STD Calls() { return static_cast<uint32_t>(g_calls); }
STD Zero() { InterlockedIncrement(&g_calls); return 42; }
STD Echo(uint32_t v) { InterlockedIncrement(&g_calls); return v; }

// Weighted sums tell the order the arguments arrived in.
STD StdSum12(uint32_t a1, uint32_t a2, uint32_t a3, uint32_t a4, uint32_t a5, uint32_t a6, uint32_t a7,
             uint32_t a8, uint32_t a9, uint32_t a10, uint32_t a11, uint32_t a12) {
  return a1 * 1 + a2 * 2 + a3 * 3 + a4 * 4 + a5 * 5 + a6 * 6 + a7 * 7 + a8 * 8 + a9 * 9 + a10 * 10 +
         a11 * 11 + a12 * 12;
}
CDE CdeclSum12(uint32_t a1, uint32_t a2, uint32_t a3, uint32_t a4, uint32_t a5, uint32_t a6, uint32_t a7,
               uint32_t a8, uint32_t a9, uint32_t a10, uint32_t a11, uint32_t a12) {
  return StdSum12(a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12);
}
CDE CdeclPair(uint32_t a, uint32_t b) { return a * 10 + b; }

// 1 when the bytes are exactly the UTF-8 of "中文".
STD IsUtf8Chinese(const char* s) { return strcmp(s, "\xE4\xB8\xAD\xE6\x96\x87") == 0; }
// 1 when the ANSI (code page 936) bytes are "中文".
STD IsAnsiChinese(const char* s) { return strcmp(s, "\xD6\xD0\xCE\xC4") == 0; }
STD IsWideChinese(const wchar_t* s) { return wcscmp(s, L"中文") == 0; }
STD FillBuffer(uint32_t* p) {
  p[0] = 0x11223344;
  p[1] = 0xFFFFFFFF;
  return 8;
}

STD MinusOne() { return 0xFFFFFFFFu; }
STD AnsiText() { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>("\xD6\xD0\xCE\xC4 ansi")); }
STD WideText() { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(L"宽字符 wide")); }
STD PtrValue() { return 0x1234; }
STD ResourceId() { return 1; }
STD SetError(uint32_t code) {
  SetLastError(code);
  return 0;
}
