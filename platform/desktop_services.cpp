#include "platform/desktop_services.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <QUrl>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/http_fetch.h"

namespace platform {

namespace {

QString Q(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

std::string S(const QString& text) {
  return text.toUtf8().toStdString();
}

QtMessageHandler previousHandler = nullptr;

void FilterMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  const char* category = context.category != nullptr ? context.category : "";
  if (type != QtFatalMsg &&
      (std::strcmp(category, "js") == 0 || std::strcmp(category, "qt.webenginecontext") == 0 ||
       message == QLatin1String("Sandboxing disabled by user."))) {
    return;
  }
  if (previousHandler != nullptr) previousHandler(type, context, message);
}

}  // namespace

void PrepareToolkit() {
  if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
  std::string flags =
      "--disable-background-networking --disable-component-update --no-first-run "
      "--disable-sync --disable-domain-reliability --no-pings";
  // Flags the user gave the toolkit stay, after ours, so they win.
  if (const char* given = std::getenv("QTWEBENGINE_CHROMIUM_FLAGS")) {
    if (given[0] != 0) flags = flags + " " + given;
  }
  setenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.c_str(), 1);
  // The web view shares its OpenGL contexts with the window; Qt wants to know before it starts.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

void QuietToolkitMessages() {
  previousHandler = qInstallMessageHandler(FilterMessage);
}

std::string QtFileFilter(const std::string& filter) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t bar = filter.find('|', start);
    parts.push_back(filter.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  std::string result;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    std::string patterns = parts[i + 1];
    for (char& c : patterns) {
      if (c == ';') c = ' ';
    }
    if (!result.empty()) result += ";;";
    result += parts[i] + " (" + patterns + ")";
  }
  return result;
}

int DesktopServices::ShowMessage(const std::string& text, int style, const std::string& title) {
  QMessageBox box;
  box.setWindowTitle(Q(title));
  box.setText(Q(text));
  box.setTextFormat(Qt::PlainText);
  box.setWindowModality(Qt::ApplicationModal);
  switch (style & 0xF0) {
    case MessageIconError: box.setIcon(QMessageBox::Critical); break;
    case MessageIconQuestion: box.setIcon(QMessageBox::Question); break;
    case MessageIconWarning: box.setIcon(QMessageBox::Warning); break;
    case MessageIconInformation: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
  }
  QMessageBox::StandardButtons buttons;
  switch (style & 0xF) {
    case MessageOkCancel: buttons = QMessageBox::Ok | QMessageBox::Cancel; break;
    case MessageAbortRetryIgnore: buttons = QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore; break;
    case MessageYesNoCancel: buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
    case MessageYesNo: buttons = QMessageBox::Yes | QMessageBox::No; break;
    case MessageRetryCancel: buttons = QMessageBox::Retry | QMessageBox::Cancel; break;
    default: buttons = QMessageBox::Ok; break;
  }
  box.setStandardButtons(buttons);
  box.exec();
  switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Cancel: return AnswerCancel;
    case QMessageBox::Abort: return AnswerAbort;
    case QMessageBox::Retry: return AnswerRetry;
    case QMessageBox::Ignore: return AnswerIgnore;
    case QMessageBox::Yes: return AnswerYes;
    case QMessageBox::No: return AnswerNo;
    default: return AnswerOk;
  }
}

std::string DesktopServices::PickFolder(const std::string& title) {
  return S(QFileDialog::getExistingDirectory(nullptr, Q(title)));
}

OpenFileAnswer DesktopServices::OpenFile(const std::string& filter) {
  const QString path = QFileDialog::getOpenFileName(nullptr, QString(), QString(), Q(QtFileFilter(filter)));
  OpenFileAnswer answer;
  answer.confirmed = !path.isEmpty();
  answer.path = S(path);
  return answer;
}

void DesktopServices::OpenUrl(const std::string& url) {
  QDesktopServices::openUrl(QUrl(Q(url)));
}

void DesktopServices::Explore(const std::string& folder) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(Q(folder)));
}

std::vector<uint8_t> DesktopServices::FetchUrlBytes(const std::string& url) {
  return FetchUrlBytesOverHttp(url);
}

void DesktopServices::EndProcess(int code, bool /*orderly*/) {
  // The toolkit and the web view are left to the operating system: tearing them down from
  // inside a handler would run their handlers of this program's window again.
  std::fflush(nullptr);
  _exit(code);
}

}  // namespace platform
