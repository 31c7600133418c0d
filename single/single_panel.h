#pragma once
// The single-picture panel (分组框2): the handlers of its controls' events.
#include "platform/services.h"

namespace app {
class MainWindow;
}

namespace single {

void On按钮4Click(app::MainWindow& window, platform::Services& services);  // choose the picture
void On按钮5Click(app::MainWindow& window, platform::Services& services);  // choose the folder
void On按钮6Click(app::MainWindow& window, platform::Services& services);  // convert
void On编辑框3LeftRelease(app::MainWindow& window, platform::Services& services);
void On编辑框4LeftRelease(app::MainWindow& window, platform::Services& services);

}  // namespace single
