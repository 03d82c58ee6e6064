#include "ui/controls/AccessibleControls.h"

#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QWidget>

#include <algorithm>

#include "ui/controls/HyperlinkLabel.h"
#include "ui/controls/SkinButton.h"
#include "ui/controls/SkinSlider.h"
#include "ui/controls/SpectrumBarDisplay.h"

namespace tovira {

namespace {

QString FirstOf(const QString& a, const QString& b) { return a.isEmpty() ? b : a; }

class AccessibleSkinButton final : public QAccessibleWidget {
 public:
  explicit AccessibleSkinButton(SkinButton* button) : QAccessibleWidget(button, QAccessible::Button) {}

  // A toggle is a check box: so the bridges report its checked state (a checkable push button
  // reaches AT-SPI as a plain push button).
  QAccessible::Role role() const override {
    return Button()->isCheckable() ? QAccessible::CheckBox : QAccessible::Button;
  }
  QString text(QAccessible::Text t) const override {
    // The art has no caption: the name its window gave it, else its tooltip.
    if (t == QAccessible::Name) return FirstOf(FirstOf(widget()->accessibleName(), Button()->text()), widget()->toolTip());
    return QAccessibleWidget::text(t);
  }
  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.checkable = Button()->isCheckable();
    s.checked = Button()->isChecked();
    s.pressed = Button()->isDown();
    return s;
  }
  QStringList actionNames() const override {
    QStringList names;
    if (widget()->isEnabled()) names << (Button()->isCheckable() ? toggleAction() : pressAction());
    return names + QAccessibleWidget::actionNames();
  }
  void doAction(const QString& name) override {
    if (name == pressAction() || name == toggleAction()) {
      Button()->Activate();
      return;
    }
    QAccessibleWidget::doAction(name);
  }

 private:
  SkinButton* Button() const { return static_cast<SkinButton*>(widget()); }
};

class AccessibleSkinSlider final : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit AccessibleSkinSlider(SkinSlider* slider) : QAccessibleWidget(slider, QAccessible::Slider) {}

  void* interface_cast(QAccessible::InterfaceType t) override {
    if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
  }
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) return Slider()->ValueText();
    return QAccessibleWidget::text(t);
  }
  QVariant currentValue() const override { return Seen(Slider()->value()); }
  void setCurrentValue(const QVariant& value) override { Slider()->CommitValue(Seen(value.toInt())); }
  QVariant maximumValue() const override { return Slider()->maximum(); }
  QVariant minimumValue() const override { return Slider()->minimum(); }
  QVariant minimumStepSize() const override { return Slider()->singleStep(); }

 private:
  SkinSlider* Slider() const { return static_cast<SkinSlider*>(widget()); }
  // A slider whose keys run against its values (the equaliser's, whose top is position 0) is
  // seen mirrored, so that its value rises the way the Up key and the thumb move. Its own inverse.
  int Seen(int value) const {
    const SkinSlider* s = Slider();
    return s->invertedControls() ? s->minimum() + s->maximum() - value : value;
  }
};

class AccessibleLink final : public QAccessibleWidget {
 public:
  explicit AccessibleLink(HyperlinkLabel* link) : QAccessibleWidget(link, QAccessible::Link) {}

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name) return FirstOf(widget()->accessibleName(), Link()->text());
    if (t == QAccessible::Value) return Link()->GetURL();
    return QAccessibleWidget::text(t);
  }
  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.linked = true;
    s.traversed = Link()->GetVisited();
    return s;
  }
  QStringList actionNames() const override { return QStringList{pressAction()} + QAccessibleWidget::actionNames(); }
  void doAction(const QString& name) override {
    if (name == pressAction()) {
      Link()->Open();
      return;
    }
    QAccessibleWidget::doAction(name);
  }

 private:
  HyperlinkLabel* Link() const { return static_cast<HyperlinkLabel*>(widget()); }
};

// Called for each class of an object's ancestry, most derived first; answers only for its own
// classes, so a subclass (the toggle button) gets the interface of the class it derives from.
QAccessibleInterface* Factory(const QString& className, QObject* object) {
  if (!object || !object->isWidgetType()) return nullptr;
  if (className == QLatin1String(SkinButton::staticMetaObject.className())) {
    return new AccessibleSkinButton(static_cast<SkinButton*>(object));
  }
  if (className == QLatin1String(SkinSlider::staticMetaObject.className())) {
    return new AccessibleSkinSlider(static_cast<SkinSlider*>(object));
  }
  if (className == QLatin1String(HyperlinkLabel::staticMetaObject.className())) {
    return new AccessibleLink(static_cast<HyperlinkLabel*>(object));
  }
  if (className == QLatin1String(SpectrumBarDisplay::staticMetaObject.className())) {
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Animation);
  }
  return nullptr;
}

}  // namespace

void InstallAccessibleControls() {
  static const bool installed = (QAccessible::installFactory(&Factory), true);
  (void)installed;
}

QList<QWidget*> OrderTabsByPlace(QList<QWidget*> widgets) {
  widgets.removeAll(nullptr);
  std::stable_sort(widgets.begin(), widgets.end(), [](const QWidget* a, const QWidget* b) {
    const QPoint pa = a->mapTo(a->window(), QPoint(0, 0)), pb = b->mapTo(b->window(), QPoint(0, 0));
    return pa.y() != pb.y() ? pa.y() < pb.y() : pa.x() < pb.x();
  });
  for (qsizetype i = 1; i < widgets.size(); ++i) QWidget::setTabOrder(widgets[i - 1], widgets[i]);
  return widgets;
}

}  // namespace tovira
