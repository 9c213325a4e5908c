#pragma once
// The window icons of the program.

#include <QIcon>

class QWidget;

namespace kelvo {

// The icon compiled in under `name` (":/icons/<name>.png").
QIcon ProgramIcon(const QString& name);

// Gives the window the named icon for its title bar and task switcher; with
// alsoOwner, the whole program too, so windows it opens later share it.
void SetFormIcons(QWidget* window, const QString& name, bool alsoOwner);

} // namespace kelvo
