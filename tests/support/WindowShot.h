#pragma once
// A window rendered to PNG as a user sees it, for the screenshot programs (scripts/screenshots).

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QPixmap>
#include <QWidget>
#include <cstdlib>

namespace tessel_test {

// Saves `window` as <name>.png in the folder TESSEL_SCREENSHOTS names, under a plain title bar with its
// caption: the offscreen platform draws no window frames.
inline void SaveWindowShot(QWidget& window, const char* name) {
    const char* dir = std::getenv("TESSEL_SCREENSHOTS");
    ASSERT_NE(dir, nullptr) << "TESSEL_SCREENSHOTS names no folder";
    QDir().mkpath(dir);
    const QPixmap content = window.grab();
    QFont bold = QApplication::font();
    bold.setBold(true);
    const int bar = QFontMetrics(bold).height() + 10;
    QPixmap shot(content.width() + 2, content.height() + bar + 1);
    shot.fill(QColor(0x3A, 0x4A, 0x5C));
    QPainter painter(&shot);
    painter.setFont(bold);
    painter.setPen(Qt::white);
    painter.drawText(QRect(8, 0, shot.width() - 16, bar), Qt::AlignVCenter | Qt::AlignLeft,
                     window.windowTitle());
    painter.drawPixmap(1, bar, content);
    painter.end();
    const QString file = QDir(dir).filePath(QString(name) + ".png");
    EXPECT_TRUE(shot.save(file, "PNG", 0)) << file.toStdString();
}

}  // namespace tessel_test
