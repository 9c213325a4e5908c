#include "keyboard/mAlphaIcon.h"

#include "button/Picture.h"

#include <QApplication>
#include <QPixmap>
#include <QWidget>

namespace kelvo {

QIcon ProgramIcon(const QString& name)
{
    return QIcon(QPixmap::fromImage(readImage(QStringLiteral(":/icons/%1.png").arg(name))));
}

void SetFormIcons(QWidget* window, const QString& name, bool alsoOwner)
{
    const QIcon icon = ProgramIcon(name);
    if (alsoOwner)
        QApplication::setWindowIcon(icon);
    window->setWindowIcon(icon);
}

} // namespace kelvo
