#pragma once
// What assistive technology (a screen reader, through the platform's accessibility bridge) learns
// of the skinned controls. They draw themselves from the skin and have no captions, so Qt's own
// interfaces would present them as nameless: here the buttons are buttons (a toggle a check box,
// its latch the checked state) named by their window, the sliders are sliders with their
// value, range and a value text ("Volume 50 %"), the spectrum is a picture and the hyperlink a
// link. Each one's actions do what a press or a key does.

#include <QList>

class QWidget;

namespace tovira {

// Registers the interfaces with Qt, once per process; the controls call it when they are made.
void InstallAccessibleControls();

// Makes Tab visit `widgets` as they are laid out in their window: row by row from the top (by
// their top edges), left to right within a row. Returns them in that order.
QList<QWidget*> OrderTabsByPlace(QList<QWidget*> widgets);

}  // namespace tovira
