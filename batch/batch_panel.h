#pragma once
// The batch panel (分组框1): the handlers of its controls' events.
#include <string>

#include "platform/services.h"

namespace app {
class MainWindow;
}

namespace batch {

void On按钮1Click(app::MainWindow& window, platform::Services& services);  // list the source files
void On编辑框1LeftRelease(app::MainWindow& window, platform::Services& services);
void On按钮2Click(app::MainWindow& window, platform::Services& services);  // choose the target folder
void On编辑框2LeftRelease(app::MainWindow& window, platform::Services& services);
void On按钮3Click(app::MainWindow& window, platform::Services& services);  // the batch run

// Asks for the source folder, writes the answer into 编辑框1 (empty when cancelled), scans that
// text and appends one row per picture found: title the file name, column 1 the full path,
// state-image index 1. Rows are never removed, so a second scan appends again.
void ListSourceFiles(app::MainWindow& window, platform::Services& services);

// The target of one row: the folder text, a separator whatever that text ends with (so a folder
// chosen with 按钮2 gives two in a row), the source's file name with its own extension, then
// the format's text: /out + /pics/a.bmp + .jpg gives /out/a.bmp.jpg.
std::string TargetPathOf(const std::string& folder, const std::string& source,
                         const std::string& format);

}  // namespace batch
