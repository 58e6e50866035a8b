#include "window/skin.h"

#include <QFile>
#include <QStyle>
#include <atomic>
#include <stdexcept>

namespace lintavel {

namespace {

// Qt tells of a style sheet it cannot parse only through a warning; this notices it.
std::atomic<bool> parse_failed{false};
QtMessageHandler previous_handler = nullptr;

void NoticeParseFailure(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtWarningMsg && message.contains(QLatin1String("Could not parse"))) {
    parse_failed = true;
    return;
  }
  if (previous_handler) previous_handler(type, context, message);
}

}  // namespace

void ApplyStyleSheetFile(QWidget& window, const QString& file) {
  QFile in(file);
  if (!in.open(QIODevice::ReadOnly | QIODevice::Text)) {
    throw std::runtime_error("Cannot read the skin file: " + in.errorString().toStdString());
  }
  const QString sheet = QString::fromUtf8(in.readAll());
  parse_failed = false;
  previous_handler = qInstallMessageHandler(NoticeParseFailure);
  window.setStyleSheet(sheet);
  window.ensurePolished();
  for (QWidget* child : window.findChildren<QWidget*>()) child->ensurePolished();
  qInstallMessageHandler(previous_handler);
  if (parse_failed) {
    window.setStyleSheet(QString());
    throw std::runtime_error("The skin file is not a style sheet that can be applied");
  }
}

}  // namespace lintavel
