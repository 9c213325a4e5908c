#include "platform/WindowRole.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace kelvo {

namespace {

WindowRole* current = nullptr;

} // namespace

void WindowRole::adopt(QWidget*, Kind) {}

QRect WindowRole::workArea(const QWidget* window) const
{
    QScreen* screen = window && window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

void WindowRole::moveTo(QWidget* window, QPoint topLeft)
{
    window->move(topLeft);
}

QPoint WindowRole::position(const QWidget* window) const
{
    return window->pos();
}

bool WindowRole::startMove(QWidget* window)
{
    return window->windowHandle() && window->windowHandle()->startSystemMove();
}

void WindowRole::setOpacity(QWidget* window, double opacity)
{
    window->setWindowOpacity(opacity);
}

void WindowRole::keepAbove(QWidget* window, bool above)
{
    if (window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) != above) {
        const bool visible = window->isVisible();
        window->setWindowFlag(Qt::WindowStaysOnTopHint, above);
        if (visible)
            window->show();
    }
    if (above)
        window->raise();
}

void WindowRole::keyOut(QWidget* window, QColor key)
{
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, key);
    window->setPalette(palette);
    window->setAutoFillBackground(true);
}

WindowRole& currentWindowRole()
{
    static WindowRole qtOnly;
    return current ? *current : qtOnly;
}

void useWindowRole(WindowRole* role)
{
    current = role;
}

} // namespace kelvo
