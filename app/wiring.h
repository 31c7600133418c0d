#pragma once
// Hands the controls' events to the panels' handlers.
#include "platform/services.h"

namespace app {

class MainWindow;

// Clicks of 按钮1 to 按钮6 and left-button releases over 编辑框1 to 编辑框4.
void WireEvents(MainWindow& window, platform::Services& services);

}  // namespace app
