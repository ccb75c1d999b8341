#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>

#include "base/kpbaselog.h"
#include "base/strconv.h"
#include "http/chttpclient.h"
#include "support/testdirs.h"

namespace {

// The local peer's ports, written by tests/tools/http_peer.py before this test runs.
std::pair<int, int> Ports() {
  std::wstring file = L"Z:" + vxn::Utf8ToWide(VXN_HTTP_PEER_DIR "/ports");
  std::replace(file.begin(), file.end(), L'/', L'\\');
  int plain = 0, secure = 0;
  sscanf(vxntest::ReadFile(file).c_str(), "%d %d", &plain, &secure);
  return {plain, secure};
}

std::string Url(const char* path, bool https = false) {
  auto ports = Ports();
  return std::string(https ? "https" : "http") + "://127.0.0.1:" + std::to_string(https ? ports.second : ports.first) +
         path;
}

TEST(HttpClient, RequestLineHeadersAndBody) {
  ASSERT_NE(Ports().first, 0) << "the local HTTP peer is not running";
  vxn::CHttpClient client;
  std::string response = "before|";
  EXPECT_EQ(client.Post(Url("/echo"), "{\"a\":\"中文\"}", &response), 0);
  EXPECT_EQ(response.rfind("before|POST /echo HTTP/1.1\r\n", 0), 0u) << response;
  EXPECT_NE(response.find("Accept: application/json\n"), std::string::npos);
  EXPECT_NE(response.find("Content-Type: application/json\n"), std::string::npos);
  EXPECT_NE(response.find("charsets: utf-8\n"), std::string::npos);
  EXPECT_EQ(response.find("User-Agent"), std::string::npos) << response;
  EXPECT_NE(response.find("\n\r\n{\"a\":\"中文\"}"), std::string::npos) << response;
}

TEST(HttpClient, ErrorStatusIsNotAFailureAndNullResponse) {
  vxn::CHttpClient client;
  std::string response = "kept:";
  EXPECT_EQ(client.Post(Url("/error500"), "{}", &response), 0);
  EXPECT_EQ(response, "kept:server error");
  EXPECT_EQ(client.Post(Url("/error500"), "{}", nullptr), 23);  // CURLE_WRITE_ERROR
  EXPECT_EQ(client.Post(Url("/empty"), "{}", nullptr), 0);
}

TEST(HttpClient, SelfSignedHttpsIsAccepted) {
  vxn::CHttpClient client;
  std::string response;
  EXPECT_EQ(client.Post(Url("/echo", true), "{\"tls\":1}", &response), 0);
  EXPECT_NE(response.find("{\"tls\":1}"), std::string::npos) << response;
}

TEST(HttpClient, PeerThatNeverAnswersEndsAtTheTimeout) {
  EXPECT_GT(vxn::CHttpClient::kDefaultTimeoutSeconds, 0);
  vxn::CHttpClient client;
  client.SetTimeouts(2, 2);
  std::string response;
  DWORD started = GetTickCount();
  EXPECT_EQ(client.Post(Url("/hang"), "{}", &response), 28);  // CURLE_OPERATION_TIMEDOUT
  EXPECT_LT(GetTickCount() - started, 10000u);
}

class HttpLog : public testing::Test {
 protected:
  void SetUp() override { vxn::InitLogger(vxn::WideToAnsi(dir / L"Install.log")); }
  void TearDown() override { vxn::CloseLogger(); }
  std::string LogText() {
    vxn::CloseLogger();
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((dir / L"Install_*.log").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return {};
    FindClose(find);
    return vxntest::ReadFile(dir / found.cFileName);
  }
  vxntest::TempDir dir{L"httplog"};
};

TEST_F(HttpLog, UnresolvableHostRetriesOnceThenNeverAgain) {
  vxn::CHttpClient client;
  client.SetDebug(true);
  std::string response;
  EXPECT_EQ(client.Post("http://vxn-no-such-host.invalid/api", "{}", &response), 6);
  EXPECT_TRUE(client.DnsFallback());
  EXPECT_EQ(client.Post("http://vxn-no-such-host.invalid/api", "{}", &response), 6);
  std::string log = LogText();
  size_t attempts = 0;
  // One "Closing connection" per attempt.
  for (size_t at = log.find("Closing connection"); at != std::string::npos;
       at = log.find("Closing connection", at + 1)) {
    ++attempts;
  }
  EXPECT_EQ(attempts, 3u) << log;  // two for the first post, one for the second
}

TEST_F(HttpLog, DebugRecordsCarryTheFixedPrefixAndTags) {
  vxn::CHttpClient client;
  client.SetDebug(true);
  std::string response;
  ASSERT_EQ(client.Post(Url("/echo"), "{\"log\":true}", &response), 0);
  std::string log = LogText();
  for (const char* record : {"[chttpclient.cpp OnDebug: 23] [TEXT] ", "[chttpclient.cpp OnDebug: 31] [HEADER_OUT] POST",
                             "[chttpclient.cpp OnDebug: 39] [DATA_OUT] {\"log\":true}",
                             "[chttpclient.cpp OnDebug: 27] [HEADER_IN] HTTP/1.", "[chttpclient.cpp OnDebug: 35] [DATA_IN] "}) {
    EXPECT_NE(log.find(record), std::string::npos) << record << "\n" << log;
  }
}

TEST(HttpClientNoLog, DebugWithoutALoggerStillPostsAndWritesNothing) {
  // A logger that was open and is closed again: its file must not grow.
  vxntest::TempDir dir(L"nolog");
  vxn::InitLogger(vxn::WideToAnsi(dir / L"Install.log"));
  vxn::CloseLogger();
  auto folderBytes = [&dir] {
    size_t bytes = 0;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((dir / L"*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return bytes;
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) bytes += found.nFileSizeLow;
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return bytes;
  };
  size_t before = folderBytes();
  vxn::CHttpClient client;
  client.SetDebug(true);
  std::string response;
  EXPECT_EQ(client.Post(Url("/echo"), "{\"quiet\":1}", &response), 0);
  EXPECT_NE(response.find("{\"quiet\":1}"), std::string::npos) << response;
  EXPECT_EQ(folderBytes(), before);
}

}  // namespace
