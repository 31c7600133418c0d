#include "batch/batch_panel.h"

#include <string>
#include <vector>

#include "app/controls.h"
#include "app/main_window.h"
#include "batch/folder_scan.h"
#include "engine/convert.h"

namespace batch {

namespace {

const char* const SourcePickerTitle = "选择原图片文件夹";
const char* const TargetPickerTitle = "选择新图片文件夹";
const char* const NotEnoughChoices = "选择条件不足，请至少选择两个条件";
const char* const RunFinished = "转换完毕";
constexpr char Separator = '/';

// The mark the scan gives every row; only rows that carry it are converted.
constexpr int RowToConvert = 1;

// The fixed settings of every batch conversion: colour, quality 75, optimised tables, no smoothing.
constexpr bool Grey = false;
constexpr int Quality = 75;
constexpr bool Optimize = true;
constexpr int Smoothing = 0;

}  // namespace

std::string TargetPathOf(const std::string& folder, const std::string& source,
                         const std::string& format) {
  return folder + Separator + FileNameOf(source) + format;
}

void ListSourceFiles(app::MainWindow& window, platform::Services& services) {
  app::SetEditText(window.编辑框1, services.PickFolder(SourcePickerTitle));
  std::vector<std::string> found;
  // A cancelled picker leaves the text empty, which scans the root folder.
  ScanFolder(app::EditText(window.编辑框1), &found);
  for (const std::string& path : found) {
    const int row = app::ListAppendRow(window.超级列表框1, FileNameOf(path));
    app::ListSetCellText(window.超级列表框1, row, 1, path);
    app::ListSetStateImage(window.超级列表框1, row, RowToConvert);
  }
}

void On按钮1Click(app::MainWindow& window, platform::Services& services) {
  ListSourceFiles(window, services);
}

void On编辑框1LeftRelease(app::MainWindow& window, platform::Services& services) {
  // Only an empty box opens the picker, so a filled one can be edited by hand.
  if (app::EditText(window.编辑框1).empty()) ListSourceFiles(window, services);
}

void On按钮2Click(app::MainWindow& window, platform::Services& services) {
  std::string folder = services.PickFolder(TargetPickerTitle);
  if (folder.empty()) return;  // cancelled: the earlier choice stays
  if (folder.back() != Separator) folder += Separator;
  app::SetEditText(window.编辑框2, folder);
}

void On编辑框2LeftRelease(app::MainWindow& window, platform::Services& services) {
  if (!app::EditText(window.编辑框2).empty()) return;
  // Written as answered: no separator added, and a cancel leaves the box empty.
  app::SetEditText(window.编辑框2, services.PickFolder(TargetPickerTitle));
}

void On按钮3Click(app::MainWindow& window, platform::Services& services) {
  if (app::EditText(window.编辑框1).empty() || app::EditText(window.编辑框2).empty()) {
    services.MessageBox(NotEnoughChoices, platform::MessageIconInformation,
                        platform::DefaultMessageTitle);
    return;
  }
  const int rows = app::ListRowCount(window.超级列表框1);
  for (int row = 0; row < rows; ++row) {
    if (app::ListStateImage(window.超级列表框1, row) != RowToConvert) continue;
    const int format = app::ComboSelectedIndex(window.组合框1);
    if (format != 0) continue;
    const std::string source = app::ListCellText(window.超级列表框1, row, 1);
    const std::string target = TargetPathOf(app::EditText(window.编辑框2), source,
                                            app::ComboItemText(window.组合框1, format));
    // A row that cannot be converted is passed over; the run always goes to the end.
    ConvertToJpeg(source.c_str(), target.c_str(), Grey, Quality, Optimize, Smoothing);
  }
  services.MessageBox(RunFinished, platform::MessageOk, platform::DefaultMessageTitle);
  services.Explore(app::EditText(window.编辑框2));
}

}  // namespace batch
