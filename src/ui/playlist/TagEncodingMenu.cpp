#include "ui/playlist/TagEncodingMenu.h"

#include <QAction>
#include <QActionGroup>

#include "util/Settings.h"

namespace tovira {

QString TagEncodingMenu::Label(TagEncoding encoding) {
  switch (encoding) {
    case TagEncoding::Auto: return tr("&Automatic (guessed for each file)");
    case TagEncoding::Latin1: return tr("&Western (ISO-8859-1)");
    case TagEncoding::Windows1252: return tr("Western (Windows-125&2)");
    case TagEncoding::Windows1250: return tr("&Central European (Windows-1250)");
    case TagEncoding::Iso8859_2: return tr("Central European (ISO-8859-2)");
    case TagEncoding::Windows1251: return tr("C&yrillic (Windows-1251)");
    case TagEncoding::Koi8R: return tr("Cyrillic (&KOI8-R)");
    case TagEncoding::Iso8859_5: return tr("Cyrillic (ISO-8859-5)");
    case TagEncoding::Windows1253: return tr("&Greek (Windows-1253)");
    case TagEncoding::Iso8859_7: return tr("Greek (ISO-8859-7)");
    case TagEncoding::Utf8: return tr("&Unicode (UTF-8)");
  }
  return {};
}

TagEncodingMenu::TagEncodingMenu(Settings& settings, QWidget* parent)
    : QMenu(tr("Tag &encoding"), parent), settings_(settings), encoding_(LoadTagEncoding(settings)) {
  setToolTip(tr("What tag texts stored as Latin-1 are read in"));
  auto* group = new QActionGroup(this);
  for (const TagEncodingEntry& entry : TagEncodingEntries()) {
    QAction* a = addAction(Label(entry.encoding));
    a->setCheckable(true);
    a->setChecked(entry.encoding == encoding_);
    group->addAction(a);
    const TagEncoding encoding = entry.encoding;
    connect(a, &QAction::triggered, this, [this, encoding] { Choose(encoding); });
    actions_.emplace_back(encoding, a);
    if (encoding == TagEncoding::Auto) addSeparator();
  }
}

QAction* TagEncodingMenu::EncodingAction(TagEncoding encoding) const {
  for (const auto& [e, action] : actions_) {
    if (e == encoding) return action;
  }
  return nullptr;
}

void TagEncodingMenu::Choose(TagEncoding encoding) {
  if (encoding == encoding_) return;
  encoding_ = encoding;
  SaveTagEncoding(settings_, encoding);
  emit encodingChanged(encoding);
}

}  // namespace tovira
