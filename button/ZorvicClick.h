#pragma once
// The push button every key and button of Kelvo is made of. It follows the
// pointer onto and off itself, paints its face for the state it is in, and
// raises its events to the form that hosts it.
//
// Leaving is not something the window system reports reliably for a window
// that never takes the focus, so every move over the control starts a fast
// tracking timer, and each tick asks the display server what lies under the
// pointer; the timer stops the moment the pointer is found elsewhere.

#include "button/DevicePixels.h"
#include "button/FaceLayout.h"
#include "button/PictureTint.h"
#include "button/PropertyBag.h"

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
    // Creates the control with every property zero, empty or no object; the
    // host then either sets it up as new (InitProperties) or loads it from
    // its stored bag (ReadProperties).
    explicit ZorvicClick(QWidget* parent = nullptr);

    // The pointer every control asks where it is; set once at start-up.
    static void usePointerProbe(PointerProbe* probe);

    // Says that the pointer rests at `globalPos` (logical screen pixels)
    // while controls come or go from under it: a window of ours is shown or
    // hidden there. A control that then finds itself under the pointer
    // raises no MouseMove until the pointer has really moved, so nothing
    // starts without a rest the user made.
    static void PointerStillAt(QPoint globalPos);

    // Has the desktop look again at what lies under the pointer where it
    // tells only once the pointer moves (see PointerProbe::lookAgain); a
    // leave it then reports has reached the controls on return. True when
    // it was asked.
    static bool LookAgainAtPointer();

    // Colours are colour values: red in the lowest byte, green in the next,
    // blue in the third; a value with the high bit set names a system colour.
    // Setting a property takes effect at once, repaints the face in the
    // Normal state unless said otherwise, and raises PropertyChanged.

    // Background colour of the surface (no part of the face shows it).
    qint32 BackColor() const { return backColor_; }
    void setBackColor(qint32 New_BackColor);

    // False stops the pointer and key events (no repaint).
    bool Enabled() const { return isEnabled(); }
    void setEnabled(bool New_Enabled);

    // The caption's font: the object is shared with whoever set it.
    FontRef Font() const { return font_; }
    void setFont(const FontRef& New_Font);

    // 0: the face's pixels of MaskColor are see-through; 1: opaque (no
    // repaint). Beyond 16 bits it fails with an overflow error and keeps the
    // old value, as do BorderStyle and ButtonIconPos.
    qint32 BackStyle() const { return backStyle_; }
    void setBackStyle(qint32 New_BackStyle);

    // 0: no border; 1: a thin frame around the surface (no repaint).
    qint32 BorderStyle() const { return borderStyle_; }
    void setBorderStyle(qint32 New_BorderStyle);

    // Redraws the surface and repaints the face.
    void Refresh();

    // Colour of the caption.
    qint32 CaptionColor() const { return captionColor_; }
    void setCaptionColor(qint32 New_CaptionColor);

    // True draws the face tinted towards TintColor; the keyboard shows a
    // latched modifier so.
    bool Tint() const { return tint_; }
    void setTint(bool New_Tint);

    qint32 TintColor() const { return tintColor_; }
    void setTintColor(qint32 New_TintColor);

    // Which set of built-in faces to show; only 0 exists.
    qint32 ZorvicStyle() const { return zorvicStyle_; }
    void setZorvicStyle(qint32 New_ZorvicStyle);

    // Brightness added to every component of a tinted, non-black pixel.
    qint16 TintBright() const { return tintBright_; }
    void setTintBright(qint16 New_TintBright);

    // Faces shown for Normal, Over and Down when CustomPic is True.
    PictureRef PicNormal() const { return picNormal_; }
    void setPicNormal(const PictureRef& New_PicNormal);
    PictureRef PicOver() const { return picOver_; }
    void setPicOver(const PictureRef& New_PicOver);
    PictureRef PicDown() const { return picDown_; }
    void setPicDown(const PictureRef& New_PicDown);

    // True shows PicNormal, PicOver and PicDown instead of the built-in faces.
    bool CustomPic() const { return customPic_; }
    void setCustomPic(bool New_CustomPic);

    // Icon drawn on the face when ButtonIconShow is True, placed as
    // ButtonIconPos says (an IconPosition from 0 to 4; any other value draws
    // neither icon nor caption).
    PictureRef ButtonIcon() const { return buttonIcon_; }
    void setButtonIcon(const PictureRef& New_ButtonIcon);
    bool ButtonIconShow() const { return buttonIconShow_; }
    void setButtonIconShow(bool New_ButtonIconShow);

    // The face colour that is see-through while BackStyle is 0.
    qint32 MaskColor() const { return maskColor_; }
    void setMaskColor(qint32 New_MaskColor);

    qint32 ButtonIconPos() const { return buttonIconPos_; }
    void setButtonIconPos(qint32 New_ButtonIconPos);

    // Gradient colours and style: kept and stored, not painted.
    qint32 GradientNormal1() const { return gradientNormal1_; }
    void setGradientNormal1(qint32 New_GradientNormal1);
    qint32 GradientNormal2() const { return gradientNormal2_; }
    void setGradientNormal2(qint32 New_GradientNormal2);
    qint32 GradientOver1() const { return gradientOver1_; }
    void setGradientOver1(qint32 New_GradientOver1);
    qint32 GradientOver2() const { return gradientOver2_; }
    void setGradientOver2(qint32 New_GradientOver2);
    qint32 GradientDown1() const { return gradientDown1_; }
    void setGradientDown1(qint32 New_GradientDown1);
    qint32 GradientDown2() const { return gradientDown2_; }
    void setGradientDown2(qint32 New_GradientDown2);
    qint32 GradientStyle() const { return gradientStyle_; }
    void setGradientStyle(qint32 New_GradientStyle);

    // True shifts caption and icon up while Over and down while Down (no repaint).
    bool UpMotion() const { return upMotion_; }
    void setUpMotion(bool New_UpMotion);

    // True lets the user move the control with the pointer while holding
    // Shift (no repaint).
    bool UserDrag() const { return userDrag_; }
    void setUserDrag(bool New_UserDrag);

    // The surface the face is drawn on.
    QPaintDevice* hDC() { return &image_; }
    // The native window the control is shown in.
    WId hWnd() const { return effectiveWinId(); }

    // Text drawn on the face; the keyboard reads it to decide what to type.
    // "&" marks the next character as the access key ("&&" shows "&").
    QString Caption() const { return caption_; }
    void setCaption(const QString& New_Caption);

    // The host's own string for the control; the keyboard's arrow, tab and
    // backspace keys say what they are through it.
    QString Tag() const { return tag_; }
    void setTag(const QString& tag) { tag_ = tag; }

    // The help string a property browser shows for a public member, or an
    // empty string for a member that has none.
    static QString HelpString(const QString& member);

    // The keys WriteProperties may store, lower case, in the order it
    // stores them (the caption comes once more at the end).
    static const QStringList& StoredKeys();

    // Sets the control up as newly placed: the new-instance defaults.
    void InitProperties();
    // Writes every stored property into the bag, in the stored order.
    void WriteProperties(PropertyBag& bag) const;
    // Loads the stored properties. A value that cannot be converted to its
    // key's type fails with a PropertyError naming the key, and then nothing
    // of the bag has been applied.
    void ReadProperties(const PropertyBag& bag);

    // Paints the face for a ButtonState into the control's image and shows
    // it; any other state repaints from the picture last loaded.
    virtual void Redraw(int State);

    // Where the last paint put the caption and the icon.
    const FaceLayout& faceLayout() const { return layout_; }
    // The face as last painted, caption and icon included, at the device
    // pixels of the screen the control is on (its devicePixelRatio says how
    // many to the logical pixel).
    const QImage& faceImage() const { return image_; }

    // The device pixels the face was last painted for: where they lie in
    // the window's device pixels. The split of logical into device pixels
    // (button/DevicePixels.h) puts them there, so at a fractional ratio
    // their number follows the control's place as well as its size.
    QRect deviceArea() const { return paintedAs_.area; }
    // The device pixels of the face that show, relative to deviceArea():
    // within the logical pixels of mask(), cut at the screen's own pixels.
    QRegion deviceMask() const;

    // Beyond one device pixel to the logical pixel, Qt gives a pointer move
    // to the widget under the logical point nearest the pointer, which may
    // be half a logical pixel from the device pixel the user sees it on.
    // Hands a move that `receiver` (a control, or the window holding them)
    // was given to the control whose device pixels hold the pointer, when
    // that is another; true when the move is not `receiver`'s own.
    static bool handMoveOn(QWidget* receiver, QMouseEvent* event);

    // True when the display server finds this control's window under the
    // pointer and the pointer is on this control within it.
    bool IsPointerOver();

    // Set once the tracking timer has found the pointer outside and painted
    // Normal; cleared when it paints Over, and by a resize.
    bool PointerIsOut = false;

    // Period of the tracking timer in milliseconds while the pointer moves,
    // and once it has rested on the control for a few ticks. Leaving the
    // window is reported at once, so only what moves in front of a resting
    // pointer waits for the slower tick.
    static constexpr int TrackingPeriodMs = 16;
    static constexpr int RestingPeriodMs = 48;
    static constexpr int QuietTicksBeforeResting = 4;

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
    // A property was set: the host's stored copy is out of date.
    void PropertyChanged(const QString& PropertyName);
    // The see-through part of the face changed; the host's shape follows it.
    void MaskChanged();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
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
    // Repaints Normal and raises PropertyChanged(name).
    void changed(const char* name, bool repaint = true);
    // The surface's font becomes this shared object.
    void useFont(const FontRef& font);
    // Sets a field that stands for a property, then as changed().
    template <typename Field>
    void assign(Field& field, const Field& value, const char* name, bool repaint = true);
    // Puts the state's picture, as drawn for `ratio`, into the buffer;
    // another style than 0 without custom pictures leaves the buffer as it is.
    void loadFace(int State, qreal ratio);
    // Cuts the see-through pixels of the mask picture out of the control.
    void applyMask();
    // Works out which device pixels of the face show; true when that changed.
    bool updateDeviceMask(const QImage& seeThrough);
    // Makes shown_ from the face as painted.
    void showDevicePixels();
    // The control whose device pixels hold the point `windowPos` (logical
    // pixels in `window`), or null.
    static ZorvicClick* at(QWidget* window, QPointF windowPos);
    // Repaints Normal, for the window system's resize and show, unless the
    // face is already painted Normal for what there is now.
    void repaintNormal();
    void drawCaption(QPainter& painter);
    void drawIcon(QPainter& painter, qreal ratio);

    // True, and the stillness forgotten, when the pointer at globalPos is a
    // move: anywhere but where it was last said to rest.
    static bool pointerMovedTo(QPoint globalPos);
    // The pointer left us: if it left every window of ours, it rests
    // wherever it is now as far as our controls can tell.
    void notePointerLeft();
    // True when the pointer lies outside this control's window (another
    // window, a see-through part, nowhere of ours); `at` is then where it
    // was on the screen, in logical pixels, when the desktop says so.
    bool pointerOutside(std::optional<QPoint>* at) const;

    QTimer OverTimer{this};
    int quietTicks_ = 0; // tracking ticks since the pointer last moved over us
    bool movedOver_ = false; // the pointer moved over us since it last left
    QImage pic_;         // the state's picture, tinted, before stretching
                         // (100 x 40 and black until it holds one)
    QImage image_;       // the face as last painted
    QImage maskPicture_; // the stretched face without caption and icon, over the
                         // logical pixels: what the mask is cut from
    QImage appliedMask_; // the see-through pixels last cut out
    // Beyond one device pixel to the logical pixel:
    QImage maskPic_;     // the state's picture as drawn for one, tinted: the mask's
    QImage shown_;       // the face with the device pixels that do not show transparent
    QRegion deviceShown_; // the face's device pixels that show
    PixelGrid deviceGrid_; // the same, a byte each
    bool painting_ = false; // Redraw is under way

    // What the face was last painted for. Properties bump the generation;
    // a paint that would repeat the last one exactly is left out.
    struct PaintedAs {
        int state = -1;
        QRect area;       // device pixels in the window
        qreal ratio = 0;
        quint64 generation = 0;
        qint64 palette = 0; // the application's, which system colours come from
        bool operator==(const PaintedAs&) const = default;
    };
    PaintedAs paintingNow(int state, qreal ratio) const;
    PaintedAs paintedAs_;
    quint64 generation_ = 0;
    // The device pixels we cover in our window at `ratio`.
    QRect deviceAreaFor(qreal ratio) const;
    FaceLayout layout_;
    PictureTint tinter_;

    // Surface attributes.
    qint32 backColor_ = 0;
    FontRef font_;
    qint16 backStyle_ = 0;
    qint16 borderStyle_ = 0;
    qint32 captionColor_ = 16777215;
    qint32 maskColor_ = 0;

    QString caption_;
    bool userDrag_ = false;
    bool upMotion_ = false;
    qint32 gradientStyle_ = 0;
    qint32 gradientNormal1_ = 0;
    qint32 gradientNormal2_ = 0;
    qint32 gradientOver1_ = 0;
    qint32 gradientOver2_ = 0;
    qint32 gradientDown1_ = 0;
    qint32 gradientDown2_ = 0;
    qint16 buttonIconPos_ = 0;
    bool buttonIconShow_ = false;
    PictureRef buttonIcon_;
    PictureRef picNormal_;
    PictureRef picOver_;
    PictureRef picDown_;
    bool customPic_ = false;
    qint16 tintBright_ = 0;
    qint32 tintColor_ = 0;
    bool tint_ = false;
    qint32 zorvicStyle_ = 0;

    QString tag_;
    bool applyingFont_ = false;  // our own font change is no ambient change
    int accessKey_ = 0;          // shortcut id of the caption's access key
    bool pressed_ = false;       // a press on us is waiting for its release
    bool dragging_ = false;      // a user drag is moving the control
    QPoint dragOffset_;
};

// The colour a colour value names, system colours taken from the palette.
QColor colorOf(qint32 value);

// Mouse and keyboard arguments as the events carry them.
qint16 buttonBits(Qt::MouseButtons buttons);
qint16 shiftBits(Qt::KeyboardModifiers modifiers);
qint16 virtualKeyCode(int qtKey);

} // namespace kelvo
