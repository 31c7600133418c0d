#include "app/main_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QFont>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QUrl>
#include <QWebEngineView>

#include "app/controls.h"
#include "app/embedded_files.h"

namespace app {

const char* const MainWindowTitle = "澜岳设计ZEPHLORA图片格式转换器1.0版";

static_assert(ListStateImageRole == Qt::UserRole + 1, "the state image's item data role");

namespace {

QString Q(const char* text) {
  return QString::fromUtf8(text);
}

template <typename Control>
Control* Place(Control* control, const char* name, int left, int top, int width, int height) {
  control->setObjectName(Q(name));
  control->setGeometry(left, top, width, height);
  return control;
}

QLabel* MakeLabel(QWidget* parent, const char* name, int left, int top, int width, int height,
                  const char* text) {
  auto* label = Place(new QLabel(Q(text), parent), name, left, top, width, height);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return label;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, int left, int top, int width, int height,
                    const char* text) {
  auto* edit = Place(new QLineEdit(parent), name, left, top, width, height);
  edit->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  edit->setMaxLength(32767);  // Qt's largest
  SetEditText(edit, text);
  return edit;
}

QPushButton* MakeButton(QWidget* parent, const char* name, int left, int top, int width,
                        int height, const char* text) {
  auto* button = Place(new QPushButton(Q(text), parent), name, left, top, width, height);
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

QComboBox* MakeCombo(QWidget* parent, const char* name, int left, int top, int width, int height,
                     std::initializer_list<const char*> items) {
  auto* combo = Place(new QComboBox(parent), name, left, top, width, height);
  combo->setEditable(false);
  combo->setInsertPolicy(QComboBox::NoInsert);
  for (const char* item : items) combo->addItem(Q(item));
  combo->setCurrentIndex(0);
  return combo;
}

// The font of the two start buttons: 微软雅黑 at 12 pixels, with the CJK fonts of this system
// behind it when it is absent.
QFont StartButtonFont(const QFont& base) {
  QFont font = base;
  font.setFamilies({Q("微软雅黑"), Q("Microsoft YaHei"), Q("Noto Sans CJK SC")});
  font.setPixelSize(12);
  font.setWeight(QFont::Normal);
  return font;
}

class ReleaseFilter : public QObject {
 public:
  ReleaseFilter(QObject* parent, std::function<void()> handler)
      : QObject(parent), handler_(std::move(handler)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && handler_) {
      handler_();
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> handler_;
};

}  // namespace

CommonDialog::CommonDialog(const char* name, const QRect& place, std::string filter,
                           QObject* parent)
    : QObject(parent), filter(std::move(filter)), place(place) {
  setObjectName(Q(name));
}

void OnLeftButtonRelease(QWidget* widget, std::function<void()> handler) {
  widget->installEventFilter(new ReleaseFilter(widget, std::move(handler)));
}

MainWindow::MainWindow(const std::string& siteAddress)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint) {
  setObjectName(Q("窗口"));
  setWindowTitle(Q(MainWindowTitle));
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(ClientWidth, ClientHeight);
  QPixmap icon;
  icon.loadFromData(WindowIcon.data, static_cast<uint>(WindowIcon.size), "PNG");
  setWindowIcon(QIcon(icon));

  // The panels first, so that the list view, which lies over 分组框1 without being its child,
  // stays above it.
  分组框2 = Place(new QGroupBox(Q("单个图片格式转换"), this), "分组框2", 16, 72, 560, 128);
  分组框1 = Place(new QGroupBox(Q("批量图片格式转换"), this), "分组框1", 16, 208, 560, 216);
  for (QGroupBox* box : {分组框2, 分组框1}) box->setAlignment(Qt::AlignLeft);

  图片框1 = Place(new QLabel(this), "图片框1", 0, 8, 104, 56);
  QPixmap logo;
  logo.loadFromData(LogoPicture.data, static_cast<uint>(LogoPicture.size), "JPEG");
  图片框1->setPixmap(logo);
  图片框1->setScaledContents(true);
  图片框1->setFrameShape(QFrame::NoFrame);

  // The canvas clips the larger web view: only its part from (8, 16) on shows.
  画板1 = Place(new QWidget(this), "画板1", 104, 8, 472, 60);
  超文本浏览框1 = Place(new QWebEngineView(画板1), "超文本浏览框1", -8, -16, 512, 80);
  超文本浏览框1->setFocusPolicy(Qt::StrongFocus);
  超文本浏览框1->setZoomFactor(1.0);  // the middle of the browser's five text sizes
  超文本浏览框1->setUrl(QUrl(QString::fromStdString(siteAddress + "/ad/qduser.htm")));

  超级列表框1 = Place(new QTableWidget(0, 2, this), "超级列表框1", 32, 344, 520, 72);
  超级列表框1->setHorizontalHeaderLabels({Q("图片名称"), Q("图片全路径")});
  QHeaderView* header = 超级列表框1->horizontalHeader();
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(false);
  header->setStretchLastSection(false);
  超级列表框1->setColumnWidth(0, 258);
  超级列表框1->setColumnWidth(1, 258);
  超级列表框1->verticalHeader()->hide();
  超级列表框1->setShowGrid(true);
  超级列表框1->setSortingEnabled(false);
  超级列表框1->setSelectionMode(QAbstractItemView::SingleSelection);
  超级列表框1->setSelectionBehavior(QAbstractItemView::SelectItems);
  超级列表框1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  超级列表框1->setWordWrap(false);
  // The selection is hidden while the list has no focus.
  QPalette listPalette = 超级列表框1->palette();
  listPalette.setColor(QPalette::Inactive, QPalette::Highlight, listPalette.color(QPalette::Base));
  listPalette.setColor(QPalette::Inactive, QPalette::HighlightedText, listPalette.color(QPalette::Text));
  超级列表框1->setPalette(listPalette);
  // A click anywhere in a row selects its first cell only.
  QTableWidget* list = 超级列表框1;
  QObject::connect(list, &QTableWidget::cellPressed, list, [list](int row, int column) {
    if (column != 0) list->setCurrentCell(row, 0);
  });

  通用对话框2 = new CommonDialog("通用对话框2", QRect(440, 336, 32, 24), "", this);
  通用对话框1 = new CommonDialog("通用对话框1", QRect(368, 344, 32, 16),
                                 "(*.bmp;*.jpg;*.gif;*.tiff;*.png)|*.bmp;*.jpg;*.gif;*.tiff;*.png",
                                 this);

  编辑框5 = MakeEdit(分组框2, "编辑框5", 88, 96, 112, 24, "zephlora");
  标签7 = MakeLabel(分组框2, "标签7", 16, 96, 64, 24, "图片名称：");
  按钮6 = MakeButton(分组框2, "按钮6", 432, 88, 104, 32, "开始转换");
  按钮6->setFont(StartButtonFont(按钮6->font()));
  组合框2 = MakeCombo(分组框2, "组合框2", 352, 96, 72, 20, {".jpg", ".gif", ".png", ".bmp", ".tiff"});
  标签6 = MakeLabel(分组框2, "标签6", 208, 96, 144, 24, "请选择转换的目标格式：");
  按钮5 = MakeButton(分组框2, "按钮5", 464, 56, 72, 24, "打开..");
  按钮4 = MakeButton(分组框2, "按钮4", 464, 24, 72, 24, "打开..");
  编辑框4 = MakeEdit(分组框2, "编辑框4", 88, 56, 360, 24, "");
  标签5 = MakeLabel(分组框2, "标签5", 16, 56, 72, 24, "目标文件夹：");
  编辑框3 = MakeEdit(分组框2, "编辑框3", 88, 24, 360, 24, "");
  标签4 = MakeLabel(分组框2, "标签4", 16, 24, 64, 24, "图片文件：");

  标签3 = MakeLabel(分组框1, "标签3", 16, 56, 88, 40, "新图片文件夹：");
  按钮3 = MakeButton(分组框1, "按钮3", 240, 96, 96, 32, "开始转换");
  按钮3->setFont(StartButtonFont(按钮3->font()));
  标签2 = MakeLabel(分组框1, "标签2", 16, 104, 128, 24, "请选择转换的目标格式：");
  组合框1 = MakeCombo(分组框1, "组合框1", 152, 104, 72, 20, {".jpg"});
  按钮2 = MakeButton(分组框1, "按钮2", 464, 64, 72, 24, "打开..");
  按钮1 = MakeButton(分组框1, "按钮1", 464, 24, 72, 24, "打开..");
  编辑框2 = MakeEdit(分组框1, "编辑框2", 104, 64, 344, 24, "");
  编辑框1 = MakeEdit(分组框1, "编辑框1", 104, 24, 344, 24, "");
  标签1 = MakeLabel(分组框1, "标签1", 16, 24, 88, 24, "原图片文件夹：");

  // Centred on the primary screen by the outer size, each half truncated toward zero.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - WindowOuterWidth) / 2,
         area.y() + (area.height() - WindowOuterHeight) / 2);
  }
}

void MainWindow::RequestDestroy() {
  destroyRequested_ = true;
  QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!destroying_) {
    destroying_ = true;
    if (onDestroying) onDestroying();
  }
  event->accept();
}

void MainWindow::showEvent(QShowEvent* event) {
  everShown_ = true;
  QWidget::showEvent(event);
}

}  // namespace app
