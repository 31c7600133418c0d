#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QWebEngineView>
#include <memory>
#include <vector>

#include "app/controls.h"
#include "platform/desktop_services.h"

namespace {

const std::string Site = "http://127.0.0.1:9";

QString Q(const char* text) {
  return QString::fromUtf8(text);
}

std::unique_ptr<app::MainWindow> MakeWindow() {
  return std::make_unique<app::MainWindow>(Site);
}

struct ControlLayout {
  const char* name;
  const char* kind;    // Qt class
  const char* parent;  // objectName of the parent
  QRect place;
  std::vector<const char*> texts;  // text, caption, title, items or column titles
};

const std::vector<ControlLayout> Controls = {
    {"图片框1", "QLabel", "窗口", {0, 8, 104, 56}, {}},
    {"超文本浏览框1", "QWebEngineView", "画板1", {-8, -16, 512, 80}, {}},
    {"画板1", "QWidget", "窗口", {104, 8, 472, 60}, {}},
    {"超级列表框1", "QTableWidget", "窗口", {32, 344, 520, 72}, {"图片名称", "图片全路径"}},
    {"编辑框5", "QLineEdit", "分组框2", {88, 96, 112, 24}, {"zephlora"}},
    {"标签7", "QLabel", "分组框2", {16, 96, 64, 24}, {"图片名称："}},
    {"按钮6", "QPushButton", "分组框2", {432, 88, 104, 32}, {"开始转换"}},
    {"组合框2", "QComboBox", "分组框2", {352, 96, 72, 20}, {".jpg", ".gif", ".png", ".bmp", ".tiff"}},
    {"标签6", "QLabel", "分组框2", {208, 96, 144, 24}, {"请选择转换的目标格式："}},
    {"按钮5", "QPushButton", "分组框2", {464, 56, 72, 24}, {"打开.."}},
    {"按钮4", "QPushButton", "分组框2", {464, 24, 72, 24}, {"打开.."}},
    {"编辑框4", "QLineEdit", "分组框2", {88, 56, 360, 24}, {""}},
    {"标签5", "QLabel", "分组框2", {16, 56, 72, 24}, {"目标文件夹："}},
    {"编辑框3", "QLineEdit", "分组框2", {88, 24, 360, 24}, {""}},
    {"标签4", "QLabel", "分组框2", {16, 24, 64, 24}, {"图片文件："}},
    {"分组框2", "QGroupBox", "窗口", {16, 72, 560, 128}, {"单个图片格式转换"}},
    {"标签3", "QLabel", "分组框1", {16, 56, 88, 40}, {"新图片文件夹："}},
    {"按钮3", "QPushButton", "分组框1", {240, 96, 96, 32}, {"开始转换"}},
    {"标签2", "QLabel", "分组框1", {16, 104, 128, 24}, {"请选择转换的目标格式："}},
    {"组合框1", "QComboBox", "分组框1", {152, 104, 72, 20}, {".jpg"}},
    {"按钮2", "QPushButton", "分组框1", {464, 64, 72, 24}, {"打开.."}},
    {"按钮1", "QPushButton", "分组框1", {464, 24, 72, 24}, {"打开.."}},
    {"编辑框2", "QLineEdit", "分组框1", {104, 64, 344, 24}, {""}},
    {"编辑框1", "QLineEdit", "分组框1", {104, 24, 344, 24}, {""}},
    {"标签1", "QLabel", "分组框1", {16, 24, 88, 24}, {"原图片文件夹："}},
    {"分组框1", "QGroupBox", "窗口", {16, 208, 560, 216}, {"批量图片格式转换"}},
};

std::vector<QString> TextsOf(QWidget* control) {
  std::vector<QString> texts;
  if (auto* label = qobject_cast<QLabel*>(control)) texts.push_back(label->text());
  if (auto* edit = qobject_cast<QLineEdit*>(control)) texts.push_back(edit->text());
  if (auto* button = qobject_cast<QPushButton*>(control)) texts.push_back(button->text());
  if (auto* box = qobject_cast<QGroupBox*>(control)) texts.push_back(box->title());
  if (auto* combo = qobject_cast<QComboBox*>(control)) {
    for (int i = 0; i < combo->count(); ++i) texts.push_back(combo->itemText(i));
  }
  if (auto* list = qobject_cast<QTableWidget*>(control)) {
    for (int i = 0; i < list->columnCount(); ++i) texts.push_back(list->horizontalHeaderItem(i)->text());
  }
  return texts;
}

TEST(MainWindow, HoldsItsControlsByNameKindParentPlaceAndTexts) {
  auto window = MakeWindow();
  EXPECT_EQ(window->objectName(), Q("窗口"));
  int widgets = 0;
  for (const ControlLayout& layout : Controls) {
    SCOPED_TRACE(layout.name);
    auto* control = window->findChild<QWidget*>(Q(layout.name));
    ASSERT_NE(control, nullptr);
    ++widgets;
    EXPECT_EQ(QString(control->metaObject()->className()), Q(layout.kind));
    ASSERT_NE(control->parentWidget(), nullptr);
    EXPECT_EQ(control->parentWidget()->objectName(), Q(layout.parent));
    EXPECT_EQ(control->geometry(), layout.place);
    EXPECT_TRUE(control->isVisibleTo(window.get()));
    EXPECT_TRUE(control->isEnabled());
    if (!layout.texts.empty()) {
      std::vector<QString> expected;
      for (const char* text : layout.texts) expected.push_back(Q(text));
      EXPECT_EQ(TextsOf(control), expected);
    }
    const bool tabStop = (control->focusPolicy() & Qt::TabFocus) != 0;
    const QString kind = Q(layout.kind);
    const bool shouldStop = kind == "QLineEdit" || kind == "QPushButton" || kind == "QComboBox" ||
                            kind == "QTableWidget" || kind == "QWebEngineView";
    EXPECT_EQ(tabStop, shouldStop);
  }
  // The two common dialogs are settings, not windows.
  for (const char* name : {"通用对话框1", "通用对话框2"}) {
    auto* dialog = window->findChild<app::CommonDialog*>(Q(name));
    ASSERT_NE(dialog, nullptr) << name;
    EXPECT_EQ(window->findChild<QWidget*>(Q(name)), nullptr);
  }
  EXPECT_EQ(window->通用对话框1->filter,
            "(*.bmp;*.jpg;*.gif;*.tiff;*.png)|*.bmp;*.jpg;*.gif;*.tiff;*.png");
  EXPECT_EQ(window->通用对话框2->filter, "");
  EXPECT_EQ(widgets + 2, 28);
  // Members and names agree.
  EXPECT_EQ(window->编辑框3->objectName(), Q("编辑框3"));
  EXPECT_EQ(window->按钮1->objectName(), Q("按钮1"));
  EXPECT_EQ(window->超级列表框1->objectName(), Q("超级列表框1"));
}

TEST(MainWindow, IsAFixedCentredWindowWithMinimizeAndCloseOnly) {
  auto window = MakeWindow();
  EXPECT_EQ(window->windowTitle(), Q("澜岳设计ZEPHLORA图片格式转换器1.0版"));
  EXPECT_EQ(window->size(), QSize(593, 424));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  const Qt::WindowFlags flags = window->windowFlags();
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(window->isVisible());
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(window->pos(), QPoint((screen.width() - 599) / 2, (screen.height() - 450) / 2));
  EXPECT_TRUE(window->windowIcon().availableSizes().contains(QSize(48, 48)));
  // The logo fills the picture box, stretched.
  ASSERT_FALSE(window->图片框1->pixmap().isNull());
  EXPECT_EQ(window->图片框1->pixmap().size(), QSize(123, 46));
  EXPECT_TRUE(window->图片框1->hasScaledContents());
  EXPECT_EQ(window->超文本浏览框1->url(), QUrl(QString::fromStdString(Site + "/ad/qduser.htm")));
}

TEST(MainWindow, EscapeAndEnterLeaveItOpen) {
  auto window = MakeWindow();
  window->show();
  window->编辑框1->setFocus();
  for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_F1}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(window->编辑框1, &press);
    QApplication::sendEvent(window->编辑框1, &release);
  }
  QApplication::processEvents();
  EXPECT_TRUE(window->isVisible());
}

TEST(MainWindow, StartButtonsUseTheirOwnFontAndTheRestTheDefault) {
  auto window = MakeWindow();
  for (QPushButton* button : {window->按钮3, window->按钮6}) {
    EXPECT_EQ(button->font().family(), Q("微软雅黑"));
    EXPECT_EQ(button->font().pixelSize(), 12);
    EXPECT_EQ(button->font().weight(), QFont::Normal);
    EXPECT_FALSE(button->isDefault());
    EXPECT_FALSE(button->autoDefault());
  }
  for (QPushButton* button : {window->按钮1, window->按钮2, window->按钮4, window->按钮5}) {
    EXPECT_FALSE(button->testAttribute(Qt::WA_SetFont));
  }
}

TEST(MainWindow, ListsAndCombosStartAsLaidOut) {
  auto window = MakeWindow();
  QTableWidget* list = window->超级列表框1;
  EXPECT_EQ(list->columnCount(), 2);
  EXPECT_EQ(list->rowCount(), 0);
  for (int column = 0; column < 2; ++column) {
    EXPECT_EQ(list->columnWidth(column), 258);
    EXPECT_EQ(list->horizontalHeader()->defaultAlignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
  }
  EXPECT_TRUE(list->showGrid());
  EXPECT_FALSE(list->horizontalHeader()->isHidden());
  EXPECT_TRUE(list->verticalHeader()->isHidden());
  EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_FALSE(list->isSortingEnabled());
  EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
  for (QComboBox* combo : {window->组合框1, window->组合框2}) {
    EXPECT_FALSE(combo->isEditable());
    EXPECT_EQ(app::ComboSelectedIndex(combo), 0);
    EXPECT_EQ(app::ComboItemText(combo, 0), ".jpg");
  }
}

TEST(Controls, ListRowsCellsAndStateImages) {
  auto window = MakeWindow();
  QTableWidget* list = window->超级列表框1;
  EXPECT_EQ(app::ListAppendRow(list, "a.jpg"), 0);
  EXPECT_EQ(app::ListAppendRow(list, "图.bmp"), 1);
  EXPECT_EQ(app::ListRowCount(list), 2);
  EXPECT_EQ(app::ListStateImage(list, 0), -1);
  app::ListSetCellText(list, 1, 1, "/数据/图.bmp");
  app::ListSetStateImage(list, 1, 1);
  EXPECT_EQ(app::ListCellText(list, 1, 0), "图.bmp");
  EXPECT_EQ(app::ListCellText(list, 1, 1), "/数据/图.bmp");
  EXPECT_EQ(app::ListCellText(list, 0, 1), "");
  EXPECT_EQ(app::ListStateImage(list, 1), 1);
  EXPECT_EQ(app::ListStateImage(list, 0), -1);
  // Outside the table: nothing happens, nothing is read.
  app::ListSetCellText(list, 2, 0, "x");
  app::ListSetCellText(list, 0, 2, "x");
  app::ListSetStateImage(list, -1, 1);
  EXPECT_EQ(app::ListRowCount(list), 2);
  EXPECT_EQ(app::ListCellText(list, -1, 0), "");
  EXPECT_EQ(app::ListCellText(list, 5, 0), "");
  EXPECT_EQ(app::ListStateImage(list, 2), -1);
  // Clicking a header sorts nothing.
  list->horizontalHeader()->sectionClicked(0);
  EXPECT_EQ(app::ListCellText(list, 0, 0), "a.jpg");
}

TEST(Controls, CellsKeepBytesThatAreNotUtf8) {
  auto window = MakeWindow();
  QTableWidget* list = window->超级列表框1;
  const std::string name = "a\xFF\xC0\x80\xED\xA0\x80.bmp";  // stray, overlong, surrogate
  const int row = app::ListAppendRow(list, name);
  app::ListSetCellText(list, row, 1, "/d/" + name);
  EXPECT_EQ(app::ListCellText(list, row, 0), name);
  EXPECT_EQ(app::ListCellText(list, row, 1), "/d/" + name);
  // A cell set again with plain text reads that text, not the bytes it held before.
  app::ListSetCellText(list, row, 1, "/d/b.bmp");
  EXPECT_EQ(app::ListCellText(list, row, 1), "/d/b.bmp");
  list->item(row, 0)->setText(Q("shown"));
  EXPECT_EQ(app::ListCellText(list, row, 0), "shown");
}

TEST(Controls, ComboAndEditBoxTexts) {
  auto window = MakeWindow();
  EXPECT_EQ(app::ComboItemText(window->组合框2, 4), ".tiff");
  EXPECT_EQ(app::ComboItemText(window->组合框2, 5), "");
  EXPECT_EQ(app::ComboItemText(window->组合框2, -1), "");
  window->组合框2->setCurrentIndex(-1);
  EXPECT_EQ(app::ComboSelectedIndex(window->组合框2), -1);
  const std::string longPath = "/一个/很长的/路径/" + std::string(200, 'x');
  app::SetEditText(window->编辑框3, longPath);
  EXPECT_EQ(app::EditText(window->编辑框3), longPath);
  EXPECT_EQ(window->编辑框3->cursorPosition(), 0);
  EXPECT_FALSE(window->编辑框3->hasSelectedText());
  EXPECT_EQ(app::EditText(window->编辑框5), "zephlora");
}

TEST(Controls, LeftButtonReleaseReachesTheHandlerAndTheControl) {
  auto window = MakeWindow();
  int calls = 0;
  app::OnLeftButtonRelease(window->编辑框1, [&calls] { ++calls; });
  const QPointF at(5, 5);
  for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::LeftButton}) {
    QMouseEvent press(QEvent::MouseButtonPress, at, window->编辑框1->mapToGlobal(at), button, button,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, window->编辑框1->mapToGlobal(at), button,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(window->编辑框1, &press);
    QApplication::sendEvent(window->编辑框1, &release);
  }
  EXPECT_EQ(calls, 2);
}

TEST(Controls, OpenFileFilterInQtsSyntax) {
  EXPECT_EQ(platform::QtFileFilter("(*.bmp;*.jpg;*.gif;*.tiff;*.png)|*.bmp;*.jpg;*.gif;*.tiff;*.png"),
            "(*.bmp;*.jpg;*.gif;*.tiff;*.png) (*.bmp *.jpg *.gif *.tiff *.png)");
  EXPECT_EQ(platform::QtFileFilter("图片|*.jpg|全部|*.*"), "图片 (*.jpg);;全部 (*.*)");
  EXPECT_EQ(platform::QtFileFilter(""), "");
}

}  // namespace
