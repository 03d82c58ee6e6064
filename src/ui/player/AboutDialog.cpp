#include "ui/player/AboutDialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/controls/HyperlinkLabel.h"
#include "ui/controls/Skin.h"

#ifndef TOVIRA_VERSION
#error "TOVIRA_VERSION comes from the build"
#endif

namespace tovira {

namespace {

HyperlinkLabel* MakeLink(const QString& text, const QString& url, QWidget* parent) {
  auto* l = new HyperlinkLabel(text, parent);
  l->SetURL(url);
  return l;
}

}  // namespace

QString AboutDialog::VersionLine() { return tr("Version %1").arg(QStringLiteral(TOVIRA_VERSION)); }

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("About Tovira"));
  setWindowIcon(skin::AppIcon());
  auto* icon = new QLabel(this);
  icon->setPixmap(skin::AppIcon().pixmap(48, 48));
  auto* name = new QLabel(QStringLiteral("<b style=\"font-size:14pt\">Tovira</b>"), this);
  auto* version = new QLabel(VersionLine(), this);
  version->setObjectName(QStringLiteral("VersionLine"));
  auto* blurb = new QLabel(tr("An audio player for MPEG audio files and M3U playlists."), this);
  feedback_ = MakeLink(tr("Feedback and updates"), QString::fromLatin1(kFeedbackUrl), this);
  mail_ = MakeLink(tr("Write to us"), QString::fromLatin1(kMailUrl), this);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* text = new QVBoxLayout;
  text->addWidget(name);
  text->addWidget(version);
  text->addWidget(blurb);
  text->addSpacing(6);
  text->addWidget(feedback_);
  text->addWidget(mail_);
  auto* top = new QHBoxLayout;
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addSpacing(10);
  top->addLayout(text);
  auto* all = new QVBoxLayout(this);
  all->addLayout(top);
  all->addWidget(buttons);
  setFixedSize(sizeHint());
}

}  // namespace tovira
