#include "ui/player/PlayerActions.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

namespace tovira {

namespace {

struct CommandKeys {
  PlayerCommand command;
  const char* text;  // the menu text, with the key after a tab where the menu shows one
  int key, otherKey;
  bool repeats;
};

constexpr CommandKeys kCommands[] = {
    {PlayerCommand::Play, QT_TRANSLATE_NOOP("tovira::PlayerActions", "Play"), 0, 0, false},
    {PlayerCommand::PlayPause, QT_TRANSLATE_NOOP("tovira::PlayerActions", "&Play/Pa&use\tspace"), Qt::Key_Space, 0, false},
    {PlayerCommand::Stop, QT_TRANSLATE_NOOP("tovira::PlayerActions", "&Stop\tX "), Qt::Key_X, 0, true},
    {PlayerCommand::Load, QT_TRANSLATE_NOOP("tovira::PlayerActions", "Load &File\tEnter"), Qt::Key_Return, Qt::Key_Enter, true},
    {PlayerCommand::Next, QT_TRANSLATE_NOOP("tovira::PlayerActions", "&Next\tN"), Qt::Key_N, 0, true},
    {PlayerCommand::Previous, QT_TRANSLATE_NOOP("tovira::PlayerActions", "Previous/&Back \tB "), Qt::Key_B, 0, true},
    {PlayerCommand::About, QT_TRANSLATE_NOOP("tovira::PlayerActions", "&About Tovira"), 0, 0, false},
    {PlayerCommand::VolumeUp, QT_TRANSLATE_NOOP("tovira::PlayerActions", "Volume up"), Qt::Key_Up, 0, true},
    {PlayerCommand::VolumeDown, QT_TRANSLATE_NOOP("tovira::PlayerActions", "Volume down"), Qt::Key_Down, 0, true},
    {PlayerCommand::Help, QT_TRANSLATE_NOOP("tovira::PlayerActions", "Help"), Qt::Key_F1, 0, true},
    {PlayerCommand::RepeatOff, QT_TRANSLATE_NOOP("tovira::PlayerActions", "Repeat &off"), 0, 0, false},
    {PlayerCommand::RepeatAll, QT_TRANSLATE_NOOP("tovira::PlayerActions", "Repeat &all"), 0, 0, false},
    {PlayerCommand::RepeatOne, QT_TRANSLATE_NOOP("tovira::PlayerActions", "Repeat o&ne"), 0, 0, false},
    {PlayerCommand::RepeatCycle, QT_TRANSLATE_NOOP("tovira::PlayerActions", "&Next repeat mode\tR"), Qt::Key_R, 0, false},
    {PlayerCommand::ShufflePlay, QT_TRANSLATE_NOOP("tovira::PlayerActions", "S&huffle play\tS"), Qt::Key_S, 0, false},
    {PlayerCommand::StopAfterCurrent, QT_TRANSLATE_NOOP("tovira::PlayerActions", "Stop a&fter current\tA"), Qt::Key_A, 0, false},
};

}  // namespace

PlayerActions::PlayerActions(QObject* parent) : QObject(parent) {
  for (const auto& c : kCommands) actions_[static_cast<size_t>(c.command)] = new QAction(tr(c.text), this);
  auto* repeat = new QActionGroup(this);
  for (PlayerCommand c : {PlayerCommand::RepeatOff, PlayerCommand::RepeatAll, PlayerCommand::RepeatOne}) {
    Action(c)->setCheckable(true);
    repeat->addAction(Action(c));
  }
  Action(PlayerCommand::RepeatOff)->setChecked(true);
  Action(PlayerCommand::ShufflePlay)->setCheckable(true);
  Action(PlayerCommand::StopAfterCurrent)->setCheckable(true);
}

QAction* PlayerActions::ForKey(int key, bool autoRepeat) const {
  for (const auto& c : kCommands) {
    if (key != 0 && (key == c.key || key == c.otherKey)) {
      return autoRepeat && !c.repeats ? nullptr : Action(c.command);
    }
  }
  return nullptr;
}

bool PlayerActions::Swallowed(int key) {
  return key == Qt::Key_Escape || key == Qt::Key_Left || key == Qt::Key_Right;
}

QMenu* PlayerActions::MakeMenu(QWidget* parent) const {
  auto* menu = new QMenu(parent);
  menu->addAction(Action(PlayerCommand::About));
  menu->addSeparator();
  QMenu* player = menu->addMenu(tr("Player"));
  for (PlayerCommand c : {PlayerCommand::Previous, PlayerCommand::Next, PlayerCommand::PlayPause, PlayerCommand::Stop,
                          PlayerCommand::Load}) {
    player->addAction(Action(c));
  }
  player->addSeparator();
  QMenu* repeat = player->addMenu(tr("&Repeat"));
  for (PlayerCommand c : {PlayerCommand::RepeatOff, PlayerCommand::RepeatAll, PlayerCommand::RepeatOne}) {
    repeat->addAction(Action(c));
  }
  repeat->addSeparator();
  repeat->addAction(Action(PlayerCommand::RepeatCycle));
  player->addAction(Action(PlayerCommand::ShufflePlay));
  player->addAction(Action(PlayerCommand::StopAfterCurrent));
  return menu;
}

}  // namespace tovira
