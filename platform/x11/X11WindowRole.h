#pragma once
// The keyboard's place among X11 window managers, told through the EWMH and
// ICCCM hints that most of them honour, and corrected where one of them
// places a window elsewhere than it was asked to.

#include "platform/WindowRole.h"

#include <QHash>
#include <QObject>
#include <QPointer>

#include <memory>

class QSocketNotifier;
typedef struct _XDisplay Display;

namespace kelvo {

class X11WindowRole final : public QObject, public WindowRole {
public:
    // Null when the display named by DISPLAY cannot be opened.
    static std::unique_ptr<X11WindowRole> open();
    ~X11WindowRole() override;

    X11WindowRole(const X11WindowRole&) = delete;
    X11WindowRole& operator=(const X11WindowRole&) = delete;

    void adopt(QWidget* window, Kind kind) override;
    QRect workArea(const QWidget* window) const override;
    void moveTo(QWidget* window, QPoint topLeft) override;
    bool startMove(QWidget* window) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit X11WindowRole(Display* display);

    // Where a window of ours should be, and how long after being shown a
    // window manager's own placement is still put right.
    struct Place {
        QPointer<QWidget> window;
        QPoint wanted;
        bool placing = false;   // just shown: the manager may move it
        bool mapped = false;    // the manager has put it on the screen since it was shown
        int shown = 0;          // times shown: a timer of an earlier showing is stale
        int corrections = 0;    // moves asked since it was shown
        bool dragged = false;   // the user moves it: wherever it goes is wanted
        bool keepInside = false; // the whole frame, border included, within the work area
    };

    void setKeyboardHints(unsigned long window);
    void readEvents();
    void activeWindowChanged();
    void refuseAttention(unsigned long window);
    QRect screenLessStruts(const QRect& screen) const;
    Place& placeOf(QWidget* window);
    // The manager has mapped the window: its placement is made or under way.
    void mapped(QObject* handle);
    // Moves a window just placed so that all of its frame lies within the
    // work area, once the manager has said how wide that frame is.
    void keepFrameInside(Place& place);

    Display* display_;
    QHash<const QWidget*, Place> places_;
    QList<unsigned long> keyboards_; // our windows with the keyboard's role
    unsigned long lastActive_ = 0;   // the last active window not ours
    QSocketNotifier* events_ = nullptr;
};

} // namespace kelvo
