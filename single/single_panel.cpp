#include "single/single_panel.h"

#include <string>

#include "app/controls.h"
#include "app/main_window.h"
#include "single/encoder_type.h"
#include "single/gdiplus_converter.h"

namespace single {

namespace {

// The GDI+ type of each item of 组合框2 (".jpg", ".gif", ".png", ".bmp", ".tiff"), by index.
const int32_t kTypeOfItem[] = {2, 3, 5, 1, 4};

void ChooseSourcePicture(app::MainWindow& window, platform::Services& services) {
  const platform::OpenFileAnswer answer = services.OpenFile(window.通用对话框1->filter);
  if (answer.confirmed) app::SetEditText(window.编辑框3, answer.path);
}

}  // namespace

void On按钮4Click(app::MainWindow& window, platform::Services& services) {
  ChooseSourcePicture(window, services);
}

void On按钮5Click(app::MainWindow& window, platform::Services& services) {
  std::string folder = services.PickFolder("选择保存文件文件夹");
  if (folder.empty()) return;
  if (folder.back() != '/') folder += '/';
  app::SetEditText(window.编辑框4, folder);
}

void On按钮6Click(app::MainWindow& window, platform::Services& services) {
  const std::string source = app::EditText(window.编辑框3);
  const std::string folder = app::EditText(window.编辑框4);
  if (source.empty() || folder.empty()) {
    services.MessageBox("选择条件不足，请选择至少两个条件", platform::MessageIconInformation, "信息：");
    return;
  }
  const int index = app::ComboSelectedIndex(window.组合框2);
  if (index >= 0 && index < static_cast<int>(sizeof kTypeOfItem / sizeof kTypeOfItem[0]))
    EncoderType = kTypeOfItem[index];
  const std::string extension = app::ComboItemText(window.组合框2, index);
  // The separator goes in whatever the folder ends with; the doubled one is harmless.
  const std::string target = folder + "/" + app::EditText(window.编辑框5) + extension;
  if (ConvertWithGdiplus(source, target, EncoderType)) {
    services.MessageBox("文件已成功保存到" + folder, platform::MessageOk, "转换成功！");
    services.Explore(folder);
  } else {
    services.MessageBox("转换失败！", platform::MessageOk, "转换失败！");
  }
}

void On编辑框3LeftRelease(app::MainWindow& window, platform::Services& services) {
  ChooseSourcePicture(window, services);
}

void On编辑框4LeftRelease(app::MainWindow& window, platform::Services& services) {
  if (!app::EditText(window.编辑框4).empty()) return;
  app::SetEditText(window.编辑框4, services.PickFolder("请选择保存文件文件夹"));
}

}  // namespace single
