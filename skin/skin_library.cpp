// The window-skinning library: applies a skin file to the host program's Qt application.
#include <QApplication>
#include <QFile>
#include <QPalette>
#include <QStyleFactory>
#include <string>
#include <vector>

#include "skin/she_format.h"

namespace {

QPalette LightPalette() {
  QPalette palette;
  palette.setColor(QPalette::Window, QColor(0xf3, 0xf5, 0xf8));
  palette.setColor(QPalette::WindowText, QColor(0x26, 0x2b, 0x33));
  palette.setColor(QPalette::Base, Qt::white);
  palette.setColor(QPalette::AlternateBase, QColor(0xf6, 0xf8, 0xfb));
  palette.setColor(QPalette::Text, Qt::black);
  palette.setColor(QPalette::Button, QColor(0xfb, 0xfc, 0xfd));
  palette.setColor(QPalette::ButtonText, QColor(0x26, 0x2b, 0x33));
  palette.setColor(QPalette::Highlight, QColor(0x2f, 0x6f, 0xd0));
  palette.setColor(QPalette::HighlightedText, Qt::white);
  palette.setColor(QPalette::ToolTipBase, Qt::white);
  palette.setColor(QPalette::ToolTipText, Qt::black);
  palette.setColor(QPalette::PlaceholderText, QColor(0x8a, 0x93, 0xa0));
  palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0x9a, 0xa1, 0xab));
  palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x9a, 0xa1, 0xab));
  palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x9a, 0xa1, 0xab));
  return palette;
}

}  // namespace

// Applies the skin file to the whole application. 1 when it was applied, 0 when the file is
// missing, malformed or scrambled with another password, or when the host has no QApplication.
extern "C" __attribute__((visibility("default"))) int SkinH_AttachEx(const char* skinFile,
                                                                     const char* password) {
  auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
  if (application == nullptr || skinFile == nullptr || password == nullptr) return 0;
  QFile file(QString::fromUtf8(skinFile));
  if (!file.open(QIODevice::ReadOnly)) return 0;
  if (file.size() > static_cast<qint64>(skin::SkinHeaderSize + skin::SkinTextLimit)) return 0;
  const QByteArray bytes = file.readAll();
  std::string styleSheet;
  if (!skin::UnpackSkin(reinterpret_cast<const uint8_t*>(bytes.constData()),
                        static_cast<size_t>(bytes.size()), password, &styleSheet)) {
    return 0;
  }
  if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) {
    QApplication::setStyle(fusion);
  }
  QApplication::setPalette(LightPalette());
  application->setStyleSheet(QString::fromStdString(styleSheet));
  // Lets the host (and its tests) see which skin is in force.
  application->setProperty("SkinH.skinFile", QString::fromUtf8(skinFile));
  return 1;
}
