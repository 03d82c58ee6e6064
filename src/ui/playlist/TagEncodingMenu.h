#pragma once
// "Tag encoding": what tag texts stored as Latin-1 are read in, as a radio group (automatic, or
// one code page). A choice is stored in "Main"/"TagEncoding" and announced; whoever reads tags
// (the session: the playlist's rows and the current track) applies it.

#include <QMenu>

#include <vector>

#include "tags/TagEncoding.h"

class QAction;

namespace tovira {

class Settings;

class TagEncodingMenu : public QMenu {
  Q_OBJECT
 public:
  // Reads "Main"/"TagEncoding" of `settings` (kept for writing).
  explicit TagEncodingMenu(Settings& settings, QWidget* parent = nullptr);

  TagEncoding Encoding() const { return encoding_; }
  QAction* EncodingAction(TagEncoding encoding) const;
  // The menu a window holds (nullptr for none), for whoever applies the choice.
  static TagEncodingMenu* Of(const QWidget& window) { return window.findChild<TagEncodingMenu*>(); }
  // The menu's text for an encoding.
  static QString Label(TagEncoding encoding);

 signals:
  void encodingChanged(tovira::TagEncoding encoding);

 private:
  void Choose(TagEncoding encoding);

  Settings& settings_;
  TagEncoding encoding_;
  std::vector<std::pair<TagEncoding, QAction*>> actions_;
};

}  // namespace tovira
