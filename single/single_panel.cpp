#include "single/single_panel.h"

#include "app/main_window.h"

namespace single {

void On按钮4Click(app::MainWindow& /*window*/, platform::Services& /*services*/) {}

void On按钮5Click(app::MainWindow& /*window*/, platform::Services& /*services*/) {}

void On按钮6Click(app::MainWindow& /*window*/, platform::Services& /*services*/) {}

void On编辑框3LeftRelease(app::MainWindow& /*window*/, platform::Services& /*services*/) {}

void On编辑框4LeftRelease(app::MainWindow& /*window*/, platform::Services& /*services*/) {}

}  // namespace single
