#include "platform/http_fetch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "support/loopback_http_server.h"

namespace {

using testsupport::HttpAnswer;
using testsupport::LoopbackHttpServer;

std::string Text(const std::vector<uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

TEST(FetchUrlBytes, RequestGoesOutAsHttp10WithTheOldBrowsersHeaders) {
  LoopbackHttpServer server([](const std::string&) { return LoopbackHttpServer::Answer(200, "2"); });
  ASSERT_TRUE(server.Started());
  EXPECT_EQ(Text(platform::FetchUrlBytesOverHttp(server.Url() + "/xz.txt#part")), "2");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const std::string& head = requests[0];
  EXPECT_EQ(head.rfind("GET /xz.txt HTTP/1.0\r\n", 0), 0u) << head;
  EXPECT_NE(head.find("\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n"),
            std::string::npos) << head;
  EXPECT_NE(head.find("\r\nAccept: */*\r\n"), std::string::npos) << head;
  EXPECT_NE(head.find("\r\nCache-Control: no-cache\r\n"), std::string::npos) << head;
  EXPECT_NE(head.find("\r\nPragma: no-cache\r\n"), std::string::npos) << head;
  EXPECT_NE(head.find("\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n"),
            std::string::npos) << head;
}

TEST(FetchUrlBytes, BodyIsKeptWhateverTheStatusAndByteForByte) {
  struct Case {
    int status;
    std::string body;
  };
  const Case cases[] = {{200, std::string("2\0junk", 6)}, {200, "2\r\n"}, {200, ""},
                        {404, "Not Found"}, {500, "2"}, {200, std::string(300000, 'x')}};
  for (const Case& c : cases) {
    LoopbackHttpServer server(
        [&c](const std::string&) { return LoopbackHttpServer::Answer(c.status, c.body); });
    ASSERT_TRUE(server.Started());
    EXPECT_EQ(Text(platform::FetchUrlBytesOverHttp(server.Url() + "/xz.txt")), c.body)
        << "status " << c.status;
  }
}

TEST(FetchUrlBytes, RedirectsAreFollowed) {
  LoopbackHttpServer server([](const std::string& path) {
    if (path == "/xz.txt") return LoopbackHttpServer::Redirect(302, "/moved/xz.txt");
    if (path == "/moved/xz.txt") return LoopbackHttpServer::Redirect(301, "/final.txt");
    return LoopbackHttpServer::Answer(200, "2");
  });
  ASSERT_TRUE(server.Started());
  EXPECT_EQ(Text(platform::FetchUrlBytesOverHttp(server.Url() + "/xz.txt")), "2");
  ASSERT_EQ(server.Requests().size(), 3u);
  EXPECT_EQ(testsupport::RequestPath(server.Requests()[2]), "/final.txt");
}

TEST(FetchUrlBytes, EndlessRedirectsEndWithoutABody) {
  LoopbackHttpServer server([](const std::string&) { return LoopbackHttpServer::Redirect(302, "/xz.txt"); });
  ASSERT_TRUE(server.Started());
  EXPECT_TRUE(platform::FetchUrlBytesOverHttp(server.Url() + "/xz.txt").empty());
  EXPECT_LE(server.Requests().size(), 21u);
}

TEST(FetchUrlBytes, FailuresGiveNothing) {
  EXPECT_TRUE(platform::FetchUrlBytesOverHttp("").empty());
  EXPECT_TRUE(platform::FetchUrlBytesOverHttp(
                  "http://127.0.0.1:" + std::to_string(LoopbackHttpServer::ClosedPort()) + "/xz.txt")
                  .empty());
  EXPECT_TRUE(platform::FetchUrlBytesOverHttp("http://name.invalid/xz.txt").empty());
  EXPECT_TRUE(platform::FetchUrlBytesOverHttp("file:///etc/hostname").empty());
}

TEST(FetchUrlBytes, BrokenTransferGivesTheBytesSoFar) {
  LoopbackHttpServer server([](const std::string&) {
    HttpAnswer answer;
    // Four of the hundred promised bytes, then the connection closes.
    answer.raw = "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n" + std::string("2\0cd", 4);
    return answer;
  });
  ASSERT_TRUE(server.Started());
  const auto body = platform::FetchUrlBytesOverHttp(server.Url() + "/xz.txt");
  EXPECT_EQ(Text(body), std::string("2\0cd", 4));
}

TEST(FetchUrlBytes, SilentServerEndsAsABrokenTransfer) {
  LoopbackHttpServer server([](const std::string&) {
    HttpAnswer answer;
    answer.hang = true;
    return answer;
  });
  ASSERT_TRUE(server.Started());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(platform::FetchUrlBytesOverHttp(server.Url() + "/xz.txt", 1).empty());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

}  // namespace
