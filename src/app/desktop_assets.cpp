// Build-time tool: renders the application icon's PNG sizes from our SVG and writes the installed
// desktop entry and MIME package from the same texts the program registers at start-up.
//   tovira_desktop_assets ICON.svg OUTDIR
// writes OUTDIR/icons/tovira.svg, OUTDIR/icons/hicolor/NxN/apps/tovira.png, OUTDIR/io.github.tovira.tovira.desktop
// and OUTDIR/tovira-mime.xml.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

#include "app/FileTypes.h"

namespace {

bool WriteText(const QString& path, const QString& text) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text.toUtf8()) >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() != 3) {
    std::fprintf(stderr, "usage: tovira_desktop_assets ICON.svg OUTDIR\n");
    return 2;
  }
  const QString svg = args[1];
  const QDir out(args[2]);
  QSvgRenderer renderer(svg);
  if (!renderer.isValid()) {
    std::fprintf(stderr, "tovira_desktop_assets: cannot read %s\n", qPrintable(svg));
    return 1;
  }
  out.mkpath("icons");
  QFile::remove(out.filePath("icons/tovira.svg"));
  if (!QFile::copy(svg, out.filePath("icons/tovira.svg"))) return 1;
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QString folder = QString("icons/hicolor/%1x%1/apps").arg(size);
    out.mkpath(folder);
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, size, size));
    painter.end();
    if (!image.save(out.filePath(folder + "/tovira.png"), "PNG")) return 1;
  }
  // The installed entry starts the program by name from the PATH and takes the icon from the theme.
  if (!WriteText(out.filePath(QString::fromLatin1(tovira::kDesktopFileName)), tovira::DesktopEntryText("tovira", "tovira"))) return 1;
  if (!WriteText(out.filePath("tovira-mime.xml"), tovira::MimePackageText())) return 1;
  return 0;
}
