#pragma once
// The batch panel (分组框1): the handlers of its controls' events.
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

}  // namespace batch
