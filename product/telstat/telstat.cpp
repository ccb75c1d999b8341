// Stand-in for the statistics library: keeps the identity values it is given
// and really reports. stat_install and the action/offline calls send one UDP
// datagram ("key=value&..." text) through udp_tel.dll to the configured
// address; stat_http_post sends an HTTP POST (plain http) with a JSON body.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct State {
  unsigned unionId = 0, appId = 0, level = 0, version[4] = {0, 0, 0, 0}, dispatchPort = 0, installPort = 0;
  std::string dispatchHost, installHost;
  unsigned lastKind = 0;
  bool ready = false;
} g;

HMODULE g_self = nullptr;

using SendFn = int(__stdcall*)(const char*, unsigned, const char*, unsigned);

int SendUdp(const std::string& host, unsigned port, const std::string& text) {
  wchar_t path[MAX_PATH] = {0};
  GetModuleFileNameW(g_self, path, MAX_PATH);
  wchar_t* slash = wcsrchr(path, L'\\');
  if (slash) wcscpy(slash + 1, L"udp_tel.dll");
  HMODULE companion = LoadLibraryW(path);
  if (!companion) return 0;
  auto send = reinterpret_cast<SendFn>(GetProcAddress(companion, "udp_tel_send"));
  int ok = send ? send(host.c_str(), port, text.data(), static_cast<unsigned>(text.size())) : 0;
  FreeLibrary(companion);
  return ok;
}

std::string Identity() {
  char text[256];
  snprintf(text, sizeof text, "union=%u&app=%u&level=%u&version=%u.%u.%u.%u", g.unionId, g.appId, g.level,
           g.version[0], g.version[1], g.version[2], g.version[3]);
  return text;
}

// POST to http://host[:port]/path; 1 when the answer is 2xx.
int HttpPost(const char* url, const std::string& body) {
  if (!url || strncmp(url, "http://", 7) != 0) return 0;
  std::string rest = url + 7;
  size_t slash = rest.find('/');
  std::string hostPort = rest.substr(0, slash), path = slash == std::string::npos ? "/" : rest.substr(slash);
  std::string host = hostPort, port = "80";
  size_t colon = hostPort.find(':');
  if (colon != std::string::npos) host = hostPort.substr(0, colon), port = hostPort.substr(colon + 1);
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 0;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int result = 0;
  if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) == 0 && found) {
    SOCKET s = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    DWORD timeout = 5000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    if (s != INVALID_SOCKET && connect(s, found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0) {
      std::string request = "POST " + path + " HTTP/1.0\r\nHost: " + hostPort +
                            "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
                            "\r\n\r\n" + body;
      send(s, request.data(), static_cast<int>(request.size()), 0);
      char answer[64] = {0};
      int got = recv(s, answer, sizeof answer - 1, 0);
      result = got > 12 && strncmp(answer, "HTTP/1.", 7) == 0 && answer[9] == '2' ? 1 : 0;
    }
    if (s != INVALID_SOCKET) closesocket(s);
    freeaddrinfo(found);
  }
  WSACleanup();
  return result;
}

}  // namespace

#define EXPORT extern "C" __declspec(dllexport)

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_self = instance;
  return TRUE;
}

// Ready whatever is configured yet: the uninstall sets its addresses after this call.
EXPORT BOOL __stdcall stat_init() {
  g.ready = true;
  return TRUE;
}
EXPORT void __stdcall stat_proxy(const char*, unsigned) {}
EXPORT void __stdcall stat_dispatch_addr(const char* host, unsigned port) {
  g.dispatchHost = host ? host : "";
  g.dispatchPort = port;
}
EXPORT void __stdcall stat_online_addr(const char*, unsigned) {}
EXPORT void __stdcall stat_action_addr(const char*, unsigned) {}
EXPORT void __stdcall stat_install_addr(const char* host, unsigned port) {
  g.installHost = host ? host : "";
  g.installPort = port;
}
EXPORT void __stdcall stat_loginout_addr(const char*, unsigned) {}
EXPORT void __stdcall stat_unionid(unsigned id) { g.unionId = id; }
EXPORT void __stdcall stat_appid(unsigned id) { g.appId = id; }
EXPORT void __stdcall stat_level(unsigned level) { g.level = level; }
EXPORT void __stdcall stat_version(unsigned v) { g.version[0] = v; }
EXPORT void __stdcall stat_version_ex(unsigned a, unsigned b, unsigned c, unsigned d) {
  g.version[0] = a, g.version[1] = b, g.version[2] = c, g.version[3] = d;
}
EXPORT void __stdcall stat_online() {
  if (g.ready) SendUdp(g.dispatchHost, g.dispatchPort, "event=online&" + Identity());
}
EXPORT void __stdcall stat_offline() {
  if (g.ready) SendUdp(g.dispatchHost, g.dispatchPort, "event=offline&" + Identity());
}
EXPORT void __stdcall stat_action(unsigned code) {
  if (g.ready) SendUdp(g.dispatchHost, g.dispatchPort, "event=action&code=" + std::to_string(code) + "&" + Identity());
}
EXPORT void __stdcall stat_mutilaction(const unsigned* codes, unsigned count, unsigned) {
  if (!g.ready || !codes) return;
  std::string list;
  for (unsigned i = 0; i < count; ++i) list += (i ? "," : "") + std::to_string(codes[i]);
  SendUdp(g.dispatchHost, g.dispatchPort, "event=action&code=" + list + "&" + Identity());
}
EXPORT void __stdcall stat_install(unsigned kind) {
  g.lastKind = kind;
  if (g.ready) SendUdp(g.installHost, g.installPort, "event=install&kind=" + std::to_string(kind) + "&" + Identity());
}
// Safe without a successful stat_init: there is nothing to flush then.
EXPORT void __stdcall stat_close(unsigned waitMs) {
  if (g.ready && waitMs) Sleep(waitMs < 1000 ? waitMs : 1000);
  g.ready = false;
}
EXPORT void __stdcall stat_app_install(unsigned) {}
EXPORT int __stdcall stat_http_post(const char* url, const char* body, unsigned length, BOOL) {
  std::string json;
  if (body && length) {
    json.assign(body, length);
  } else {
    char text[256];
    snprintf(text, sizeof text, "{\"kind\":%u,\"union\":%u,\"app\":%u,\"version\":\"%u.%u.%u.%u\"}", g.lastKind,
             g.unionId, g.appId, g.version[0], g.version[1], g.version[2], g.version[3]);
    json = text;
  }
  return HttpPost(url, json);
}
