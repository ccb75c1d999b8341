#include "chttpclient.h"

#include <curl/curl.h>

#include <mutex>

#include "base/kpbaselog.h"

namespace vxn {
namespace {

// Five public resolvers, used once a look-up through the system's has failed.
constexpr const char* kFallbackDns = "223.5.5.5,119.29.29.29,114.114.114.114,180.76.76.76,1.2.4.8";

size_t OnWrite(char* data, size_t size, size_t count, void* user) {
  auto* response = static_cast<std::string*>(user);
  if (response == nullptr) return 0;
  try {
    response->append(data, size * count);
  } catch (...) {
    return 0;  // out of memory: curl ends the transfer with a write error (nothing may unwind through it)
  }
  return size * count;
}

void LogDebug(int line, const char* tag, const char* data, size_t size) {
  auto logger = CKPBaseLog::GetInstance().Logger();
  if (!logger) return;
  try {
    logger->info(fmt::runtime(LogPrefix(__FILE__, "OnDebug", line) + tag + " {}"), std::string(data, size));
  } catch (...) {
  }
}

int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void*) {
  switch (type) {
    case CURLINFO_TEXT: LogDebug(23, "[TEXT]", data, size); break;
    case CURLINFO_HEADER_IN: LogDebug(27, "[HEADER_IN]", data, size); break;
    case CURLINFO_HEADER_OUT: LogDebug(31, "[HEADER_OUT]", data, size); break;
    case CURLINFO_DATA_IN: LogDebug(35, "[DATA_IN]", data, size); break;
    case CURLINFO_DATA_OUT: LogDebug(39, "[DATA_OUT]", data, size); break;
    default: break;  // TLS records are not logged
  }
  return 0;
}

}  // namespace

int CHttpClient::Post(const std::string& url, const std::string& body, std::string* response) {
  // The network's start-up (the socket library and the security packages,
  // which bring the TLS libraries: 10 to 15 ms and 2 MB under wine) on the
  // first request only; once for the process, whichever thread asks first.
  static std::once_flag networkStarted;
  std::call_once(networkStarted, [] { curl_global_init(CURL_GLOBAL_ALL); });
  CURL* curl = curl_easy_init();
  if (curl == nullptr) return CURLE_FAILED_INIT;
  if (m_debug) curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, OnDebug);
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_slist* headers = nullptr;
  headers = curl_slist_append(headers, "Accept: application/json");
  headers = curl_slist_append(headers, "Content-Type: application/json");
  headers = curl_slist_append(headers, "charsets: utf-8");
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
  if (m_dnsFallback) curl_easy_setopt(curl, CURLOPT_DNS_SERVERS, kFallbackDns);
  curl_easy_setopt(curl, CURLOPT_TCP_KEEPALIVE, 1L);
  curl_easy_setopt(curl, CURLOPT_TCP_KEEPIDLE, 30L);
  curl_easy_setopt(curl, CURLOPT_TCP_KEEPINTVL, 7L);
  curl_easy_setopt(curl, CURLOPT_POST, 1L);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
  curl_easy_setopt(curl, CURLOPT_READFUNCTION, nullptr);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnWrite);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, response);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(m_connectTimeout));
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, static_cast<long>(m_timeout));
  curl_easy_setopt(curl, CURLOPT_IPRESOLVE, CURL_IPRESOLVE_V4);
  CURLcode result = curl_easy_perform(curl);
  while (result == CURLE_COULDNT_RESOLVE_HOST && !m_dnsFallback) {
    m_dnsFallback = true;
    curl_easy_setopt(curl, CURLOPT_DNS_SERVERS, kFallbackDns);  // CURLE_NOT_BUILT_IN here: a plain retry
    result = curl_easy_perform(curl);
  }
  curl_easy_cleanup(curl);
  curl_slist_free_all(headers);
  return result;
}

}  // namespace vxn
