#include "Platform/Linux/Qt/QtPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "Platform/Linux/Qt/QtText.h"

namespace platform::linuxbackend {

QtPasteboard::QtPasteboard() {
  QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, &context_, [this] {
    if (!writing_) ++changeCount_;
  });
}

long QtPasteboard::clearContents() {
  writing_ = true;
  QGuiApplication::clipboard()->clear();
  writing_ = false;
  return ++changeCount_;
}

bool QtPasteboard::setString(std::string text, std::string_view type) {
  if (type != plainTextType) return false;
  writing_ = true;
  QGuiApplication::clipboard()->setText(qs(text));
  writing_ = false;
  return true;
}

std::optional<std::string> QtPasteboard::string(std::string_view type) const {
  if (type != plainTextType) return std::nullopt;
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  if (!data || !data->hasText()) return std::nullopt;
  QByteArray utf8 = data->text().toUtf8();
  return std::string(utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

}  // namespace platform::linuxbackend
