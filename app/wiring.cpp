#include "app/wiring.h"

#include <QLineEdit>
#include <QPushButton>

#include "app/main_window.h"
#include "batch/batch_panel.h"
#include "single/single_panel.h"

namespace app {

void WireEvents(MainWindow& window, platform::Services& services) {
  MainWindow* w = &window;
  platform::Services* s = &services;
  const auto click = [w, s](QPushButton* button, void (*handler)(MainWindow&, platform::Services&)) {
    QObject::connect(button, &QPushButton::clicked, w, [w, s, handler] { handler(*w, *s); });
  };
  const auto release = [w, s](QWidget* edit, void (*handler)(MainWindow&, platform::Services&)) {
    OnLeftButtonRelease(edit, [w, s, handler] { handler(*w, *s); });
  };

  click(window.按钮4, single::On按钮4Click);
  click(window.按钮5, single::On按钮5Click);
  click(window.按钮6, single::On按钮6Click);
  release(window.编辑框3, single::On编辑框3LeftRelease);
  release(window.编辑框4, single::On编辑框4LeftRelease);

  click(window.按钮1, batch::On按钮1Click);
  release(window.编辑框1, batch::On编辑框1LeftRelease);
  click(window.按钮2, batch::On按钮2Click);
  click(window.按钮3, batch::On按钮3Click);
  release(window.编辑框2, batch::On编辑框2LeftRelease);
}

}  // namespace app
