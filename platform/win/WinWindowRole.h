#pragma once
// Kelvo's windows on the Windows desktop. The keyboard window gets the
// no-activate extended style (Qt's Qt::WindowDoesNotAcceptFocus only answers
// WM_MOUSEACTIVATE, so without it other ways of activating would still work),
// stays topmost, is layered with its alpha and colour key together, is dragged
// by following the pointer rather than by the system's move loop (which
// activates it), and ends the program when it is asked to close from outside
// (the taskbar, taskkill).

#include "platform/WindowRole.h"

#include <QHash>
#include <QObject>

namespace kelvo {

class WinWindowRole final : public QObject, public WindowRole {
public:
    void adopt(QWidget* window, Kind kind) override;
    bool startMove(QWidget* window) override;
    void setOpacity(QWidget* window, double opacity) override;
    void keyOut(QWidget* window, QColor key) override;
    void keepAbove(QWidget* window, bool above) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What the layered window is told: its alpha (0 to 255) and colour key.
    struct Layering {
        int alpha = 255;
        QColor key;
    };
    void applyLayering(QWidget* window);

    QHash<const QObject*, Layering> layering_;
};

} // namespace kelvo
