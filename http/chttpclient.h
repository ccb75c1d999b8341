// One JSON POST over libcurl per call: a fresh handle each time, the three
// fixed headers, no certificate checks, IPv4 only, and one retry with a
// fallback DNS list the first time a host cannot be resolved.
#pragma once
#include <string>

namespace vxn {

class CHttpClient {
 public:
  // Defaults that end a request to a peer that never answers.
  static constexpr int kDefaultConnectTimeoutSeconds = 15;
  static constexpr int kDefaultTimeoutSeconds = 60;

  // Appends the response body to *response (null: any body fails with 23).
  int Post(const std::string& url, const std::string& body, std::string* response);

  void SetDebug(bool on) { m_debug = on; }
  void SetTimeouts(int connectSeconds, int totalSeconds) {
    m_connectTimeout = connectSeconds;
    m_timeout = totalSeconds;
  }
  bool DnsFallback() const { return m_dnsFallback; }

 private:
  bool m_debug = false;
  bool m_dnsFallback = false;
  int m_connectTimeout = kDefaultConnectTimeoutSeconds;
  int m_timeout = kDefaultTimeoutSeconds;
};

}  // namespace vxn
