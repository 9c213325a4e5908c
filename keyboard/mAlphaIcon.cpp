#include "keyboard/mAlphaIcon.h"

#include <QApplication>
#include <QWidget>

namespace kelvo {

QIcon ProgramIcon(const QString& name)
{
    return QIcon(QStringLiteral(":/icons/%1.png").arg(name));
}

void SetFormIcons(QWidget* window, const QString& name, bool alsoOwner)
{
    const QIcon icon = ProgramIcon(name);
    if (alsoOwner)
        QApplication::setWindowIcon(icon);
    window->setWindowIcon(icon);
}

} // namespace kelvo
