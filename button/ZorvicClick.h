#pragma once
// The push button every key and button of Kelvo is made of. It follows the
// pointer onto and off itself, paints its face for the state it is in, and
// raises its events to the form that hosts it.
//
// Leaving is not something the window system reports reliably for a window
// that never takes the focus, so every move over the control starts a fast
// tracking timer, and each tick asks the display server what lies under the
// pointer; the timer stops the moment the pointer is found elsewhere.

#include <QImage>
#include <QTimer>
#include <QWidget>

namespace kelvo {

class PointerProbe;

// Button states handed to Redraw.
enum ButtonState : int {
    StateNormal = 0, // pointer away
    StateOver = 1,   // pointer on it, or a button just released on it
    StateDown = 2,   // left button pressed on it
};

class ZorvicClick : public QWidget {
    Q_OBJECT

public:
    explicit ZorvicClick(QWidget* parent = nullptr);

    // The pointer every control asks where it is; set once at start-up.
    static void usePointerProbe(PointerProbe* probe);

    // Text drawn on the face; the keyboard reads it to decide what to type.
    QString Caption() const { return caption_; }
    void setCaption(const QString& New_Caption);

    // True draws the face tinted; the keyboard shows a latched modifier so.
    bool Tint() const { return tint_; }
    void setTint(bool New_Tint);

    // Colour the face is tinted towards (red in the lowest byte).
    quint32 TintColor() const { return tintColor_; }
    void setTintColor(quint32 New_TintColor);

    // True lets the user move the control with the pointer while holding Shift.
    bool UserDrag() const { return userDrag_; }
    void setUserDrag(bool New_UserDrag) { userDrag_ = New_UserDrag; }

    // The host's own string for the control; the keyboard's arrow, tab and
    // backspace keys say what they are through it.
    QString Tag() const { return tag_; }
    void setTag(const QString& tag) { tag_ = tag; }

    // Paints the face for a ButtonState into the control's image and shows it.
    virtual void Redraw(int State);

    // True when the display server finds this control's window under the
    // pointer and the pointer is on this control within it.
    bool IsPointerOver();

    // Set once the tracking timer has found the pointer outside and painted
    // Normal; cleared when it paints Over, and by a resize.
    bool PointerIsOut = false;

    // Period of the tracking timer, in milliseconds.
    static constexpr int TrackingPeriodMs = 16;

signals:
    void Click();
    void DblClick();
    void MouseOut();
    void KeyDown(qint16& KeyCode, qint16& Shift);
    void KeyPress(qint16& KeyAscii);
    void KeyUp(qint16& KeyCode, qint16& Shift);
    void MouseDown(qint16& Button, qint16& Shift, float& X, float& Y);
    void MouseMove(qint16& Button, qint16& Shift, float& X, float& Y);
    void MouseUp(qint16& Button, qint16& Shift, float& X, float& Y);
    // The control received the input focus (a control array's focus event).
    void GotFocus();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void OverTimer_Timer();
    // Starts tracking and raises MouseMove.
    void pointerMovedOver(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, QPointF at);
    void UserDragMove();
    void updateAccessKey();

    QTimer OverTimer{this};
    QImage image_;      // the face as last painted
    QString caption_ = QStringLiteral("Zorvic Click");
    QString tag_;
    bool tint_ = false;
    quint32 tintColor_ = 1500000;
    bool userDrag_ = false;
    int accessKey_ = 0;          // shortcut id of the caption's access key
    bool pressed_ = false;       // a press on us is waiting for its release
    bool dragging_ = false;      // a user drag is moving the control
    QPoint dragOffset_;
};

// Mouse and keyboard arguments as the events carry them.
qint16 buttonBits(Qt::MouseButtons buttons);
qint16 shiftBits(Qt::KeyboardModifiers modifiers);
qint16 virtualKeyCode(int qtKey);

} // namespace kelvo
