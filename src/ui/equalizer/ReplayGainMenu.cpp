#include "ui/equalizer/ReplayGainMenu.h"

#include <QActionGroup>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QWidgetAction>

#include "util/Settings.h"

namespace tovira {

namespace {
constexpr ReplayGainMode kModes[] = {ReplayGainMode::Off, ReplayGainMode::Track, ReplayGainMode::Album,
                                     ReplayGainMode::Auto};
const char* ModeLabel(ReplayGainMode m) {
  switch (m) {
    case ReplayGainMode::Off: return QT_TRANSLATE_NOOP("tovira::ReplayGainMenu", "&Off");
    case ReplayGainMode::Track: return QT_TRANSLATE_NOOP("tovira::ReplayGainMenu", "&Track gain");
    case ReplayGainMode::Album: return QT_TRANSLATE_NOOP("tovira::ReplayGainMenu", "&Album gain");
    case ReplayGainMode::Auto: return QT_TRANSLATE_NOOP("tovira::ReplayGainMenu", "A&uto (album gain while an album plays in order)");
  }
  return "";
}
// The mode as the button names it.
const char* ModeShortName(ReplayGainMode m) {
  switch (m) {
    case ReplayGainMode::Off: return QT_TRANSLATE_NOOP("tovira::ReplayGainMenu", "off");
    case ReplayGainMode::Track: return QT_TRANSLATE_NOOP("tovira::ReplayGainMenu", "track");
    case ReplayGainMode::Album: return QT_TRANSLATE_NOOP("tovira::ReplayGainMenu", "album");
    case ReplayGainMode::Auto: return QT_TRANSLATE_NOOP("tovira::ReplayGainMenu", "auto");
  }
  return "";
}
}  // namespace

QString ReplayGainButtonText(ReplayGainMode mode) {
  return ReplayGainMenu::tr("ReplayGain: %1").arg(ReplayGainMenu::tr(ModeShortName(mode)));
}

ReplayGainMenu::ReplayGainMenu(Settings& settings, QWidget* parent)
    : QMenu(parent), settings_(settings), config_(LoadReplayGainConfig(settings)) {
  addSection(tr("ReplayGain"));
  auto* group = new QActionGroup(this);
  for (const ReplayGainMode m : kModes) {
    QAction* a = addAction(tr(ModeLabel(m)));
    a->setCheckable(true);
    a->setChecked(m == config_.mode);
    group->addAction(a);
    connect(a, &QAction::triggered, this, [this, m] {
      ReplayGainConfig c = config_;
      c.mode = m;
      Change(c);
    });
    modes_[static_cast<size_t>(m)] = a;
  }
  addSeparator();

  // The preamp sits in the menu itself, so that a few steps need no dialog.
  auto* row = new QWidget(this);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(24, 2, 8, 2);
  layout->addWidget(new QLabel(tr("Preamp"), row));
  preamp_ = new QDoubleSpinBox(row);
  preamp_->setRange(kMinPreampDb, kMaxPreampDb);
  preamp_->setSingleStep(0.5);
  preamp_->setDecimals(1);
  preamp_->setSuffix(QStringLiteral(" dB"));
  preamp_->setValue(config_.preampDb);
  preamp_->setFixedWidth(preamp_->sizeHint().width());
  layout->addStretch(1);
  layout->addWidget(preamp_);
  auto* preampAction = new QWidgetAction(this);
  preampAction->setDefaultWidget(row);
  addAction(preampAction);
  connect(preamp_, &QDoubleSpinBox::valueChanged, this, [this](double db) {
    ReplayGainConfig c = config_;
    c.preampDb = db;
    Change(c);
  });

  clipping_ = addAction(tr("&Prevent clipping"));
  clipping_->setCheckable(true);
  clipping_->setChecked(config_.preventClipping);
  connect(clipping_, &QAction::toggled, this, [this](bool on) {
    ReplayGainConfig c = config_;
    c.preventClipping = on;
    Change(c);
  });
}

void ReplayGainMenu::Change(const ReplayGainConfig& config) {
  if (config.mode == config_.mode && config.preampDb == config_.preampDb &&
      config.preventClipping == config_.preventClipping) {
    return;
  }
  config_ = config;
  SaveReplayGainConfig(settings_, config_);
  emit configChanged(config_);
}

}  // namespace tovira
