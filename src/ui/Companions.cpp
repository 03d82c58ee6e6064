#include "ui/Companions.h"

#include <QEvent>
#include <QShortcut>

#include "session/PlaybackSession.h"
#include "ui/player/PlayerDialog.h"
#include "ui/playlist/TagEncodingMenu.h"
#include "ui/playlist/WindowDock.h"

namespace tovira {

namespace {

// A window of its own: as a dialog of the player a window manager would keep it above the player,
// and it could not slide out from behind it.
void MakeOwnWindow(QWidget& w) {
  w.setParent(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
}

}  // namespace

Companions::Companions(PlayerDialog& player, PlaybackSession& session, Settings& settings, const QString& folderRoot)
    : playlist(session.Playlist(), settings, &player, folderRoot),
      equalizer(settings, [&session](const EqualizerFactors& f) { session.SetEqualizer(f); }, &player),
      player_(player) {
  MakeOwnWindow(playlist);
  MakeOwnWindow(equalizer);
  playlist.setWindowIcon(player.windowIcon());
  equalizer.setWindowIcon(player.windowIcon());

  connect(&equalizer, &EqualizerDialog::pathsDropped, &playlist, &PlaylistDialog::AddDropped);
  connect(&equalizer, &EqualizerDialog::replayGainChanged, &session, &PlaybackSession::SetReplayGain);
  connect(&playlist, &PlaylistDialog::rowActivated, &session, &PlaybackSession::PlayRow);
  if (auto* encoding = TagEncodingMenu::Of(playlist)) {
    connect(encoding, &TagEncodingMenu::encodingChanged, &session, &PlaybackSession::SetTagEncoding);
  }
  // "Play next" joins the session's queue, and the list shows the queue's places.
  connect(&playlist, &PlaylistDialog::queueRequested, &session, [&session](const QList<int>& rows, bool join) {
    const std::vector<int> list(rows.begin(), rows.end());
    join ? session.QueueRows(list) : session.UnqueueRows(list);
  });
  playlist.SetQueuePlaces([&session](int row) { return session.QueuePlace(row); });
  connect(&session, &PlaybackSession::orderChanged, &playlist, &PlaylistDialog::ShowQueue);
  // The title bar's close button works like the toggle, so the toggle stays true.
  connect(&playlist, &PlaylistDialog::closeRequested, &player, [&player] { player.TogglePlaylist(false); });
  connect(&equalizer, &EqualizerDialog::closeRequested, &player, [&player] { player.ToggleEqualizer(false); });
  connect(&player, &PlayerDialog::playlistWindowToggled, this, [this](bool show) {
    if (player_.isVisible() && !player_.isMinimized()) playlist.StartSlide(show);
    else playlist.Dock().SetShownNow(show && player_.isVisible());
  });
  connect(&player, &PlayerDialog::equalizerWindowToggled, this, [this](bool show) {
    if (player_.isVisible() && !player_.isMinimized()) equalizer.StartSlide(show);
    else equalizer.Dock().SetShownNow(show && player_.isVisible());
  });
  for (QWidget* window : {static_cast<QWidget*>(&player), static_cast<QWidget*>(&playlist),
                         static_cast<QWidget*>(&equalizer)}) {
    for (bool forward : {true, false}) {
      auto* key = new QShortcut(forward ? QKeySequence(Qt::Key_F6) : QKeySequence(Qt::SHIFT | Qt::Key_F6), window);
      connect(key, &QShortcut::activated, this, [this, window, forward] { ActivateNext(window, forward); });
      shortcuts_.emplace_back(key);
    }
  }
  player.installEventFilter(this);
  if (player.isVisible()) {
    placed_ = true;
    playlist.Dock().SetShownNow(player.PlaylistToggled());
    equalizer.Dock().SetShownNow(player.EqualizerToggled());
  }
}

Companions::~Companions() {
  player_.removeEventFilter(this);
  for (const auto& key : shortcuts_) delete key.data();
}

void Companions::ActivateNext(QWidget* from, bool forward) {
  const QList<QWidget*> ring{&player_, &playlist, &equalizer};
  const qsizetype at = ring.indexOf(from);
  for (qsizetype step = 1; step < ring.size(); ++step) {
    QWidget* next = ring[(at + (forward ? step : ring.size() - step)) % ring.size()];
    if (!next->isVisible() || next->isMinimized()) continue;
    if (next == &playlist) {
      playlist.Dock().Activate();
    } else if (next == &equalizer) {
      equalizer.Dock().Activate();
    } else {
      next->raise();
      next->activateWindow();
    }
    return;
  }
}

bool Companions::eventFilter(QObject* watched, QEvent* event) {
  // The player's first appearance brings the wanted companions along at once, docked.
  if (watched == &player_ && event->type() == QEvent::Show && !placed_) {
    placed_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
          playlist.Dock().SetShownNow(player_.PlaylistToggled());
          equalizer.Dock().SetShownNow(player_.EqualizerToggled());
        },
        Qt::QueuedConnection);
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace tovira
