#include "app/main_window.h"
#include "app/program.h"

namespace app {

std::string BytesToText(const std::vector<uint8_t>& bytes) {
  size_t length = 0;
  while (length < bytes.size() && bytes[length] != 0) ++length;
  return std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
}

void CheckForUpdate(MainWindow& window, platform::Services& services) {
  VersionMarker = "2";
  LatestVersionText = BytesToText(services.FetchUrlBytes(SiteAddress + "/xz.txt"));
  if (VersionMarker == LatestVersionText) return;
  if (services.MessageBox("发现软件有最新版本,是否进行在线更新到最新版本?", platform::MessageYesNo,
                          "软件更新提示:") == platform::AnswerYes) {
    services.OpenUrl(HomePageUrl());
  }
  services.MessageBox("你使用的版本已停止使用，请下载最新版本使用！",
                      platform::MessageOk | platform::MessageIconInformation, "提示:");
  window.RequestDestroy();
  services.ExitProgram(0);
}

}  // namespace app
