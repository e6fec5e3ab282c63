// The floor that flagrig's whole-process figures are measured against: the least a Qt 6 tray
// program does. A status icon with a three-item menu and a 30 Hz timer that does nothing, on
// the same desktop, so that what flagrig costs beyond it is its own.
#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "xcb");
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);

  QPixmap pixmap(18, 18);
  pixmap.fill(Qt::transparent);
  {
    QPainter painter(&pixmap);
    painter.setBrush(QColor(60, 140, 220));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(1, 1, 16, 16);
  }
  QMenu menu;
  menu.addAction("First");
  menu.addAction("Second");
  menu.addAction("Quit", &app, &QApplication::quit);
  QSystemTrayIcon tray{QIcon(pixmap)};
  tray.setContextMenu(&menu);
  tray.show();

  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  QObject::connect(&tick, &QTimer::timeout, [] {});
  tick.start(1000 / 30);
  return app.exec();
}
