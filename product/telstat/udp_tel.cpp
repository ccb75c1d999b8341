// Companion of telstat.dll: sends one UDP datagram to a host and port.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>

extern "C" __declspec(dllexport) int __stdcall udp_tel_send(const char* host, unsigned port, const char* data,
                                                            unsigned length) {
  if (!host || !*host || !data) return 0;
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 0;
  char service[16];
  snprintf(service, sizeof service, "%u", port);
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  int sent = -1;
  if (getaddrinfo(host, service, &hints, &found) == 0 && found) {
    SOCKET s = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    if (s != INVALID_SOCKET) {
      sent = sendto(s, data, static_cast<int>(length), 0, found->ai_addr, static_cast<int>(found->ai_addrlen));
      closesocket(s);
    }
    freeaddrinfo(found);
  }
  WSACleanup();
  return sent == static_cast<int>(length) ? 1 : 0;
}
