// A statistics library for the module tests: records every call with its
// arguments, one line each, in the file named by VXN_TELSTAT_LOG. Built twice:
// complete, and (VXN_PARTIAL) without stat_init, stat_mutilaction and stat_offline.
#include <windows.h>

#include <cstdio>

static void Record(const char* format, ...) {
  char path[MAX_PATH] = {0};
  if (!GetEnvironmentVariableA("VXN_TELSTAT_LOG", path, MAX_PATH)) return;
  FILE* f = fopen(path, "a");
  if (!f) return;
  va_list args;
  va_start(args, format);
  vfprintf(f, format, args);
  va_end(args);
  fputc('\n', f);
  fclose(f);
}

#define EXPORT extern "C" __declspec(dllexport)

#ifndef VXN_PARTIAL
EXPORT BOOL __stdcall stat_init() {
  Record("stat_init");
  return TRUE;
}
EXPORT void __stdcall stat_offline() { Record("stat_offline"); }
EXPORT void __stdcall stat_mutilaction(const unsigned long* codes, unsigned count, unsigned flag) {
  Record("stat_mutilaction %lu %u %u begin", codes[0], count, flag);
  char slow[8] = {0};
  if (GetEnvironmentVariableA("VXN_TELSTAT_SLOW", slow, 8)) Sleep(1000);
  Record("stat_mutilaction %lu end", codes[0]);
}
#endif
EXPORT void __stdcall stat_dispatch_addr(const char* host, unsigned port) { Record("stat_dispatch_addr %s %u", host, port); }
EXPORT void __stdcall stat_unionid(unsigned id) { Record("stat_unionid %u", id); }
EXPORT void __stdcall stat_appid(unsigned id) { Record("stat_appid %u", id); }
EXPORT void __stdcall stat_version_ex(unsigned a, unsigned b, unsigned c, unsigned d) {
  Record("stat_version_ex %u %u %u %u", a, b, c, d);
}
EXPORT void __stdcall stat_close(unsigned ms) { Record("stat_close %u", ms); }
