#pragma once
// The main window 窗口 and its 28 controls. Every control carries its name as objectName and is
// reachable as a member of the same name; the handlers of the two panels read and write them
// through the helpers of app/controls.h.
#include <QObject>
#include <QRect>
#include <QWidget>
#include <functional>
#include <string>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QWebEngineView;

namespace app {

extern const char* const MainWindowTitle;  // "澜岳设计ZEPHLORA图片格式转换器1.0版"

// Outer size of the window, frame and caption included, and its client area.
constexpr int WindowOuterWidth = 599;
constexpr int WindowOuterHeight = 450;
constexpr int ClientWidth = 593;
constexpr int ClientHeight = 424;

// A common dialog has no window of its own: it is only the settings a dialog is shown with.
class CommonDialog : public QObject {
 public:
  CommonDialog(const char* name, const QRect& place, std::string filter, QObject* parent);
  const std::string filter;  // "name|patterns" entries, as Services::OpenFile takes them
  const QRect place;         // the stored place; nothing uses it
};

class MainWindow : public QWidget {
 public:
  // Creates the window hidden, with every control; the web view starts loading the banner of
  // the site at siteAddress (no final "/"). The window deletes itself when closed: a test that
  // closes it holds it in a QPointer, not in a unique_ptr.
  explicit MainWindow(const std::string& siteAddress);

  QLabel* 图片框1;
  QWidget* 画板1;
  QWebEngineView* 超文本浏览框1;
  QTableWidget* 超级列表框1;
  CommonDialog* 通用对话框1;
  CommonDialog* 通用对话框2;

  // The single-picture panel.
  QGroupBox* 分组框2;
  QLabel* 标签4;
  QLineEdit* 编辑框3;
  QPushButton* 按钮4;
  QLabel* 标签5;
  QLineEdit* 编辑框4;
  QPushButton* 按钮5;
  QLabel* 标签7;
  QLineEdit* 编辑框5;
  QLabel* 标签6;
  QComboBox* 组合框2;
  QPushButton* 按钮6;

  // The batch panel.
  QGroupBox* 分组框1;
  QLabel* 标签1;
  QLineEdit* 编辑框1;
  QPushButton* 按钮1;
  QLabel* 标签3;
  QLineEdit* 编辑框2;
  QPushButton* 按钮2;
  QLabel* 标签2;
  QComboBox* 组合框1;
  QPushButton* 按钮3;

  // Runs once when the window is about to be destroyed (it is closed, and never refuses).
  std::function<void()> onDestroying;

  // Queues the window's destruction; it takes effect when the event loop next runs.
  void RequestDestroy();
  bool DestroyRequested() const { return destroyRequested_; }
  bool EverShown() const { return everShown_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  bool destroyRequested_ = false;
  bool everShown_ = false;
  bool destroying_ = false;
};

// Calls handler whenever the left mouse button is released over widget. The event still
// reaches the widget afterwards.
void OnLeftButtonRelease(QWidget* widget, std::function<void()> handler);

}  // namespace app
