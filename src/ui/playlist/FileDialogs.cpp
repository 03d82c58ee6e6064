#include "ui/playlist/FileDialogs.h"

#include <QFileDialog>
#include <QFileInfo>

namespace tovira {

QStringList NameFiltersFromPairs(const QString& pairs) {
  QStringList filters;
  const QStringList parts = pairs.split(QLatin1Char('|'));
  // Pairs of label and patterns; an empty label ends the list (the closing "||").
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString& label = parts[i];
    if (label.isEmpty()) break;
    QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (auto& p : patterns) p = p.trimmed();
    filters.push_back(label + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')'));
  }
  return filters;
}

QString FirstSuffixOfNameFilter(const QString& filter) {
  const qsizetype open = filter.lastIndexOf(QLatin1Char('('));
  const qsizetype close = filter.lastIndexOf(QLatin1Char(')'));
  if (open < 0 || close <= open) return {};
  const QStringList patterns = filter.mid(open + 1, close - open - 1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
  if (patterns.isEmpty() || !patterns.front().startsWith(QStringLiteral("*."))) return {};
  const QString suffix = patterns.front().mid(2);
  return suffix.contains(QLatin1Char('*')) || suffix.contains(QLatin1Char('?')) ? QString() : suffix;
}

QStringList QtFileDialogs::OpenFiles(QWidget* parent, const QString& caption, const QString& filter) {
  QFileDialog dialog(parent, caption, lastFolder_);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setOption(QFileDialog::DontResolveSymlinks, true);
  dialog.setOption(QFileDialog::ReadOnly, true);
  dialog.setNameFilters(NameFiltersFromPairs(filter));
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList files = dialog.selectedFiles();
  if (!files.isEmpty()) lastFolder_ = QFileInfo(files.front()).absolutePath();
  return files;
}

QString QtFileDialogs::SaveFile(QWidget* parent, const QString& caption, const QString& filter,
                                const QString& defaultSuffix) {
  QFileDialog dialog(parent, caption, lastFolder_);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(defaultSuffix);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  dialog.setNameFilters(NameFiltersFromPairs(filter));
  // A kind chosen in the list is the kind a bare name is saved as.
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, defaultSuffix](const QString& chosen) {
    const QString suffix = FirstSuffixOfNameFilter(chosen);
    dialog.setDefaultSuffix(suffix.isEmpty() ? defaultSuffix : suffix);
  });
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return {};
  lastFolder_ = QFileInfo(files.front()).absolutePath();
  return files.front();
}

}  // namespace tovira
