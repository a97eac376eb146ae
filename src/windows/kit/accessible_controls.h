#pragma once
// What assistive technology (AT-SPI on Linux) reads from the controls Qt has no interface for.
//
// - CSkinSliderCtrl: a slider with its value (minimum, maximum, the position; a step of the
//   slider's key step); a value set by the reader moves it as the user would.
// - Any other widget that declares Q_CLASSINFO("AccessibleRole", "<QAccessible::Role key>")
//   gets that role, and its properties spokenName and spokenDescription (when it has them) as
//   the name and description, read afresh each time (the video surface, the graph, the panel).
//   Without those properties the widget's accessible name and description are read.
// - CSkinButton: a push button named by its command (else its text); one marked as a switch
//   (setToggleSwitch) is also checkable, checked while it shows its pressed look.
// The skinned check buttons are Qt's own check boxes and need nothing here.
class QAccessibleInterface;
class QObject;
class QString;

namespace ravir {

// Installs the interfaces once for the process (later calls do nothing).
void InstallAccessibleControls();

// The factory itself (for tests): the interface for an object of that class, or null.
QAccessibleInterface* AccessibleControlFactory(const QString& className, QObject* object);

}  // namespace ravir
