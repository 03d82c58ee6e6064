#pragma once
// Writes small SVG sheets of flat colours for the control tests, so that the tests can tell by
// a pixel's colour which cell a control drew.

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QWidget>

#include <list>
#include <string>

namespace tovira::test {

class SvgFolder {
 public:
  // Writes `body` as an SVG of the given size; returns its path (kept alive with the folder).
  const char* Write(const QString& name, int width, int height, const QString& body) {
    QFile file(dir_.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\" viewBox=\"0 0 %1 %2\">%3</svg>")
                   .arg(width).arg(height).arg(body).toUtf8());
    return paths_.emplace_back(file.fileName().toStdString()).c_str();
  }

 private:
  QTemporaryDir dir_;
  std::list<std::string> paths_;
};

inline QString Rect(int x, int y, int w, int h, const char* colour) {
  return QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\"/>").arg(x).arg(y).arg(w).arg(h).arg(QString::fromLatin1(colour));
}

inline QImage Grab(QWidget& widget) { return widget.grab().toImage().convertToFormat(QImage::Format_RGB32); }

inline QColor PixelAt(QWidget& widget, int x, int y) { return Grab(widget).pixelColor(x, y); }

}  // namespace tovira::test
