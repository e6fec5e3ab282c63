#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

namespace platform::testing {

// Where the desktop tests keep their screenshots: $FLAGRIG_SCREENSHOT_DIR, or a folder in the
// temporary directory.
inline std::filesystem::path screenshotFolder() {
  const char* dir = std::getenv("FLAGRIG_SCREENSHOT_DIR");
  return dir && *dir ? std::filesystem::path(dir)
                     : std::filesystem::temp_directory_path() / "flagrig-qt-tests";
}

// The pixels of `widget`'s window as Qt draws them, kept as "<name>.png" in that folder.
inline QImage keepScreenshot(QWidget& widget, const std::string& name) {
  std::filesystem::create_directories(screenshotFolder());
  QImage image = widget.window()->grab().toImage();
  std::string path = (screenshotFolder() / (name + ".png")).string();
  image.save(QString::fromStdString(path));
  std::cout << "screenshot: " << path << "\n";
  return image;
}

}  // namespace platform::testing
