#include "app/program.h"

#include <QApplication>
#include <QPointer>

#include "app/embedded_files.h"
#include "app/main_window.h"
#include "app/wiring.h"
#include "platform/desktop_services.h"
#include "platform/gdiplus.h"
#include "platform/process.h"
#include "platform/replace_file.h"
#include "single/encoder_type.h"

namespace app {

std::string ProgramDirectory;
uintptr_t GdiplusToken = 0;
std::string VersionMarker;
std::string LatestVersionText;

namespace {

std::string WithoutFinalSlash(std::string address) {
  while (!address.empty() && address.back() == '/') address.pop_back();
  return address;
}

}  // namespace

std::string SiteAddress = WithoutFinalSlash(ZEPHLORA_SITE);

const char* const SkinPassword = ZEPHLORA_SKIN_PASSWORD;
const char* const SkinLibraryName = "SkinH_EL.dll";
const char* const SkinFileName = "cc.she";

std::string HomePageUrl() {
  return SiteAddress + "/";
}

MainWindow* StartMainWindow(platform::Services& services) {
  platform::SetCurrentDirectory(ProgramDirectory);
  services.RegisterExitRoutine(OnProgramExit);
  auto* window = new MainWindow(SiteAddress);
  WireEvents(*window, services);
  window->onDestroying = [&services] { OnMainWindowDestroying(services); };
  OnMainWindowCreated(*window, services);
  window->show();
  return window;
}

void OnMainWindowCreated(MainWindow& window, platform::Services& services) {
  const GdiplusStartupInput input{1, nullptr, false, false};
  GdiplusStartup(&GdiplusToken, &input, nullptr);
  single::EncoderType = 5;
  // Whether the two files could be written is of no concern: an older copy may be in place.
  platform::ReplaceFileContents(ProgramDirectory + "/" + SkinLibraryName, SkinLibraryImage.data,
                                SkinLibraryImage.size);
  platform::ReplaceFileContents(ProgramDirectory + "/" + SkinFileName, SkinFileImage.data,
                                SkinFileImage.size);
  AttachSkin(services, ProgramDirectory + "/" + SkinFileName, SkinPassword);
  CheckForUpdate(window, services);
}

void OnMainWindowDestroying(platform::Services& services) {
  services.OpenUrl(HomePageUrl());
}

void OnProgramExit() {
  VersionMarker.clear();
  VersionMarker.shrink_to_fit();
  LatestVersionText.clear();
  LatestVersionText.shrink_to_fit();
}

void AttachSkin(platform::Services& services, const std::string& skinFile,
                const std::string& password) {
  // Called once per process, so binding here is binding on the first call.
  using AttachEx = int (*)(const char*, const char*);
  const auto attach = reinterpret_cast<AttachEx>(
      services.BindEntry({ProgramDirectory + "/" + SkinLibraryName, SkinLibraryName},
                         SkinLibraryName, "SkinH_AttachEx"));
  attach(skinFile.c_str(), password.c_str());
}

void RunProgram(const char* programName) {
  platform::PrepareToolkit();
  int argc = 1;
  char* argv[] = {const_cast<char*>(programName), nullptr};
  QApplication application(argc, argv);
  QGuiApplication::setDesktopFileName(QStringLiteral("zephlora"));  // ties the window to its icon
  platform::QuietToolkitMessages();
  ProgramDirectory = platform::FolderOfPath(platform::ProgramFilePath());
  platform::DesktopServices services;
  QPointer<MainWindow> window = StartMainWindow(services);
  const int code = QApplication::exec();
  // Let the web view close before the process goes.
  delete window.data();
  services.ExitProgram(code);
}

}  // namespace app
