#include "batch/batch_panel.h"

#include "app/main_window.h"

namespace batch {

void On按钮1Click(app::MainWindow& /*window*/, platform::Services& /*services*/) {}

void On编辑框1LeftRelease(app::MainWindow& /*window*/, platform::Services& /*services*/) {}

void On按钮2Click(app::MainWindow& /*window*/, platform::Services& /*services*/) {}

void On编辑框2LeftRelease(app::MainWindow& /*window*/, platform::Services& /*services*/) {}

void On按钮3Click(app::MainWindow& /*window*/, platform::Services& /*services*/) {}

}  // namespace batch
