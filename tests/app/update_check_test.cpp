#include <gtest/gtest.h>

#include <string>

#include "app/main_window.h"
#include "app/program.h"
#include "startup_fixture.h"

namespace apptest {
namespace {

using Kind = platform::ScriptedServices::Kind;
using testsupport::HttpAnswer;
using testsupport::LoopbackHttpServer;

struct SiteCase {
  const char* name;
  bool served;
  HttpAnswer answer;
};

HttpAnswer Ok(const std::string& body) {
  return LoopbackHttpServer::Answer(200, body);
}

TEST_F(StartupTest, MarkerEqualToOursLetsStartUpGoOn) {
  const SiteCase cases[] = {
      {"2", true, Ok("2")},
      {"2 then a zero byte and more", true, Ok(std::string("2\0junk", 6))},
      {"404 whose body is 2", true, LoopbackHttpServer::Answer(404, "2")},
  };
  for (const SiteCase& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    Serve(c.answer);
    EXPECT_EQ(Start(), std::nullopt);
    EXPECT_TRUE(services->Messages().empty());
    ASSERT_NE(Window(), nullptr);
    EXPECT_TRUE(Window()->isVisible());
    EXPECT_EQ(app::LatestVersionText, "2");
  }
}

TEST_F(StartupTest, RedirectsAreFollowedToTheMarker) {
  Serve([](const std::string& path) {
    if (path == "/xz.txt") return LoopbackHttpServer::Redirect(302, "/v/xz.txt");
    if (path == "/v/xz.txt") return Ok("2");
    return LoopbackHttpServer::Answer(404, "not found");
  });
  EXPECT_EQ(Start(), std::nullopt);
  EXPECT_TRUE(services->Messages().empty());
  EXPECT_EQ(server->RequestsFor("/v/xz.txt").size(), 1u);
}

TEST_F(StartupTest, RequestGoesOutOnceAsTheOldBrowserSentIt) {
  Serve(Ok("2"));
  ASSERT_EQ(Start(), std::nullopt);
  const auto requests = server->RequestsFor("/xz.txt");
  ASSERT_EQ(requests.size(), 1u);
  const std::string& head = requests[0];
  EXPECT_EQ(head.rfind("GET /xz.txt HTTP/1.0\r\n", 0), 0u) << head;
  for (const char* header :
       {"User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)", "Accept: */*",
        "Cache-Control: no-cache", "Pragma: no-cache"}) {
    EXPECT_NE(head.find(std::string("\r\n") + header + "\r\n"), std::string::npos) << header;
  }
}

TEST_F(StartupTest, AnyOtherMarkerOffersTheHomePageAndEndsWithZero) {
  const SiteCase cases[] = {
      {"2 and a line end", true, Ok("2\r\n")},
      {"a space and 2", true, Ok(" 2")},
      {"3", true, Ok("3")},
      {"02", true, Ok("02")},
      {"empty", true, Ok("")},
      {"404", true, LoopbackHttpServer::Answer(404, "<html>Not Found</html>", "text/html")},
      {"no server", false, {}},
  };
  for (const SiteCase& c : cases) {
    for (int answer : {platform::AnswerYes, platform::AnswerNo}) {
      SCOPED_TRACE(std::string(c.name) + (answer == platform::AnswerYes ? ", Yes" : ", No"));
      Reset();
      if (c.served) {
        Serve(c.answer);
      } else {
        ServeNothing();
      }
      services->QueueMessageAnswer(answer);
      services->QueueMessageAnswer(platform::AnswerOk);
      const std::string home = app::SiteAddress + "/";

      EXPECT_EQ(Start(), 0);

      std::vector<platform::ScriptedServices::Event> shown;
      for (const auto& event : services->Events()) {
        if (event.kind == Kind::MessageBox || event.kind == Kind::OpenUrl) shown.push_back(event);
      }
      ASSERT_EQ(shown.size(), answer == platform::AnswerYes ? 3u : 2u);
      EXPECT_EQ(shown[0].kind, Kind::MessageBox);
      EXPECT_EQ(shown[0].text, "发现软件有最新版本,是否进行在线更新到最新版本?");
      EXPECT_EQ(shown[0].style, 4);
      EXPECT_EQ(shown[0].title, "软件更新提示:");
      if (answer == platform::AnswerYes) {
        EXPECT_EQ(shown[1].kind, Kind::OpenUrl);
        EXPECT_EQ(shown[1].text, home);
      }
      const auto& last = shown.back();
      EXPECT_EQ(last.kind, Kind::MessageBox);
      EXPECT_EQ(last.text, "你使用的版本已停止使用，请下载最新版本使用！");
      EXPECT_EQ(last.style, 64);
      EXPECT_EQ(last.title, "提示:");

      // The exit routine ran and released the texts; the window was never shown and its
      // destruction, only queued, never ran its handler.
      EXPECT_TRUE(services->ExitRoutineHasRun());
      EXPECT_EQ(services->Events().back().kind, Kind::Exit);
      EXPECT_TRUE(app::VersionMarker.empty());
      EXPECT_TRUE(app::LatestVersionText.empty());
      app::MainWindow* window = Window();
      ASSERT_NE(window, nullptr);
      EXPECT_FALSE(window->EverShown());
      EXPECT_TRUE(window->DestroyRequested());
      EXPECT_EQ(services->UnscriptedCount(), 0);
    }
  }
}

TEST(BytesToText, StopsAtTheFirstZeroByte) {
  EXPECT_EQ(app::BytesToText({}), "");
  EXPECT_EQ(app::BytesToText({'2'}), "2");
  EXPECT_EQ(app::BytesToText({'2', 0, 'x'}), "2");
  EXPECT_EQ(app::BytesToText({0, '2'}), "");
}

}  // namespace
}  // namespace apptest
