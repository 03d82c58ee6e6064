#pragma once
// The About box: name, version of this build, and links for feedback and mail.

#include <QDialog>


namespace tovira {

class HyperlinkLabel;

inline constexpr const char* kFeedbackUrl = "https://tovira.example.org/feedback";
inline constexpr const char* kMailUrl = "mailto:feedback@tovira.example.org";

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr);

  // "Version 1.2.3", from the build.
  static QString VersionLine();
  HyperlinkLabel* FeedbackLink() const { return feedback_; }
  HyperlinkLabel* MailLink() const { return mail_; }

 private:
  HyperlinkLabel* feedback_ = nullptr;
  HyperlinkLabel* mail_ = nullptr;
};

}  // namespace tovira
