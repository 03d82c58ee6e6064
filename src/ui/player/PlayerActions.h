#pragma once
// The player window's commands, one action each, with its key and its menu text: the buttons,
// the keys and the context menu all trigger the same action.

#include <QObject>

#include <array>

class QAction;
class QMenu;
class QWidget;

namespace tovira {

enum class PlayerCommand {
  Play, PlayPause, Stop, Load, Next, Previous, About, VolumeUp, VolumeDown, Help,
  // The play order: the three repeat modes (one checked), R steps through them; two toggles.
  RepeatOff, RepeatAll, RepeatOne, RepeatCycle, ShufflePlay, StopAfterCurrent,
  Count
};

class PlayerActions : public QObject {
  Q_OBJECT
 public:
  explicit PlayerActions(QObject* parent = nullptr);

  QAction* Action(PlayerCommand command) const { return actions_[static_cast<size_t>(command)]; }
  // The action of a key pressed in the window without modifiers; null for keys it does not use.
  // A held key repeats only the commands for which that makes sense (not Play/Pause).
  QAction* ForKey(int key, bool autoRepeat) const;
  // Keys the window takes for itself (they do nothing else): Esc, Left, Right.
  static bool Swallowed(int key);
  // "&About Tovira", a separator, and "Player" with Back, Next, Play/Pause, Stop and Load, then
  // the play order: "Repeat" (off, all, one and the R key's step), shuffle play, stop after current.
  QMenu* MakeMenu(QWidget* parent) const;

 private:
  std::array<QAction*, static_cast<size_t>(PlayerCommand::Count)> actions_{};
};

}  // namespace tovira
