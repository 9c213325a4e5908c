#include "keyboard/frmKelvo.h"

#include "button/ZorvicClick.h"
#include "keyboard/Main.h"
#include "keyboard/mAlphaIcon.h"
#include "platform/KeySender.h"
#include "platform/Platform.h"
#include "platform/Tone.h"
#include "settings/frmSettings.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QWindow>

#include <cstdio>

namespace kelvo {

namespace {

// The window's background, and the colour keyed out of it.
const QColor FormBackColor(0, 255, 0);
constexpr int FormAlpha = 230;
constexpr int DwellPeriodMs = 200;
constexpr int BeepMs = 5;

// Key indices of the three latching modifier keys.
constexpr int ShiftKey = 29;
constexpr int CtrlKey = 30;
constexpr int AltKey = 31;

// The order the controls are created in, which is also their stacking
// order: a later one lies above an earlier one where they meet.
constexpr int CreationOrder[] = {
    -1, // the logo button
    0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19,
    20, 21, 22, 23, 24, 25, 26, 27, 28,
    -2, // minimise
    -3, // exit
    29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48,
    49, 50, 51, 52, 53, 54, 55, 56, 57, 60, 61, 58, 59,
};

QFont keyFont()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11); // 8.25 pt at 96 dpi
    font.setBold(true);
    return font;
}

} // namespace

frmKelvo::frmKelvo(KeySender& sender, Tone& tone, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                          | Qt::WindowDoesNotAcceptFocus)
    , sender_(sender)
    , tone_(tone)
{
    setWindowTitle(QStringLiteral("Kelvo"));
    setFixedSize(FormWidthTwips / TwipsPerPixel, FormHeightTwips / TwipsPerPixel);
    // Showing the window must not take the focus from the application that
    // the keystrokes are for.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFont(keyFont());

    for (int index : CreationOrder) {
        if (index == -1) {
            cmdKelvo = makeControl(LogoPlace);
            cmdKelvo->setAccessibleName(QStringLiteral("Kelvo"));
            connect(cmdKelvo, &ZorvicClick::MouseDown, this, &frmKelvo::cmdKelvo_MouseDown);
            cmdKelvo->installEventFilter(this);
        } else if (index == -2) {
            cmdMinimize = makeControl(MinimizePlace);
            cmdMinimize->setAccessibleName(QStringLiteral("Minimise"));
            connect(cmdMinimize, &ZorvicClick::Click, this, &frmKelvo::cmdMinimize_Click);
        } else if (index == -3) {
            cmdExit = makeControl(ExitPlace);
            cmdExit->setAccessibleName(QStringLiteral("Exit"));
            connect(cmdExit, &ZorvicClick::Click, this, &frmKelvo::cmdExit_Click);
        } else {
            ZorvicClick* key = makeControl(KeyTable[index]);
            cmdButton[index] = key;
            connect(key, &ZorvicClick::MouseMove, this,
                    [this, index](qint16& button, qint16& shift, float& x, float& y) {
                        cmdButton_MouseMove(index, button, shift, x, y);
                    });
            connect(key, &ZorvicClick::MouseOut, this, [this, index] { cmdButton_MouseOut(index); });
            connect(key, &ZorvicClick::GotFocus, this, [this, index] { cmdButton_GotFocus(index); });
        }
    }

    // Tab order: keys 0 to 28, minimise, exit, keys 29 to 32, the logo,
    // keys 33 to 57, then 60, 61, 58, 59.
    std::vector<QWidget*> tabs;
    for (int i = 0; i <= 28; ++i)
        tabs.push_back(cmdButton[i]);
    tabs.push_back(cmdMinimize);
    tabs.push_back(cmdExit);
    for (int i = 29; i <= 32; ++i)
        tabs.push_back(cmdButton[i]);
    tabs.push_back(cmdKelvo);
    for (int i = 33; i <= 57; ++i)
        tabs.push_back(cmdButton[i]);
    for (int i : {60, 61, 58, 59})
        tabs.push_back(cmdButton[i]);
    for (size_t i = 1; i < tabs.size(); ++i)
        setTabOrder(tabs[i - 1], tabs[i]);

    timerType.setTimerType(Qt::PreciseTimer);
    timerType.setInterval(DwellPeriodMs);
    connect(&timerType, &QTimer::timeout, this, &frmKelvo::timerType_Timer);
    connect(&tray, &mdlTray::LeftButtonUp, this, &frmKelvo::tray_LeftButtonUp);
}

frmKelvo::~frmKelvo()
{
    delete settings_;
}

ZorvicClick* frmKelvo::makeControl(const KeyPlace& place)
{
    auto* control = new ZorvicClick(this);
    control->setGeometry(pixelRect(place));
    // Every control is loaded with its stored values: white captions centred
    // in the key's face, in the window's font.
    static const FontRef face = std::make_shared<QFont>(keyFont());
    PropertyBag bag;
    bag.append(QStringLiteral("Font"), face);
    bag.append(QStringLiteral("CaptionColor"), qint32(16777215));
    bag.append(QStringLiteral("Caption"), QString::fromUtf16(place.caption));
    const QString tag = QString::fromUtf16(place.tag);
    if (tag == u"Up" || tag == u"Down" || tag == u"Left" || tag == u"Right") {
        // The arrow keys are grey: tinted light grey and darkened.
        bag.append(QStringLiteral("Tint"), Boolean::of(true));
        bag.append(QStringLiteral("TintColor"), qint32(14737632));
        bag.append(QStringLiteral("TintBright"), qint16(-30));
    }
    bag.append(QStringLiteral("ButtonIconShow"), Boolean::of(true));
    bag.append(QStringLiteral("ButtonIconPos"), qint16(IconBehind));
    control->ReadProperties(bag);
    control->setTag(tag);
    connect(control, &ZorvicClick::MaskChanged, this, &frmKelvo::controlMaskChanged);
    // What a screen reader says of it: its caption, else its name.
    QString name = control->Caption().isEmpty() ? control->Tag() : control->Caption();
    control->setAccessibleName(name.replace(QStringLiteral("&&"), QStringLiteral("&")));
    return control;
}

void frmKelvo::controlMaskChanged()
{
    // A latched key's tint can darken pixels to see-through; the window's
    // shape follows, once for however many controls changed together.
    if (!shaped_ || reshapeQueued_)
        return;
    reshapeQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        reshapeQueued_ = false;
        ShapeToControls(this);
    });
}

void frmKelvo::Form_Load()
{
    SetFormIcons(this, QStringLiteral("AAAA"), true);
    BeepOn = true;
    // Bottom-right corner on the bottom-right corner of the work area: above
    // a bottom panel, beside a side one.
    const QRect area = TaskbarWorkArea();
    move(area.right() + 1 - width(), area.bottom() + 1 - height());
    MakeTranslucent(this, FormBackColor, FormAlpha);
    shaped_ = true;
    tray.AddIcon(ProgramIcon(QStringLiteral("form")), QStringLiteral("Kelvo"));
}

void frmKelvo::Form_Activate()
{
    SetTopmost(this, 1);
}

void frmKelvo::Form_Unload()
{
    tray.RemoveIcon();
}

void frmKelvo::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    Form_Activate();
}

void frmKelvo::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Form_Activate();
}

void frmKelvo::cmdExit_Click()
{
    Form_Unload();
    hide();
    emit ended();
}

void frmKelvo::cmdMinimize_Click()
{
    if (hiddenInTray_ || (windowState() & Qt::WindowMinimized))
        return;
    // With a tray icon to bring it back, the window is withdrawn outright:
    // asking the window manager to minimise it as well races with the
    // withdrawal and can leave it minimised where nothing restores it.
    // Without one, the window manager's minimise is the only way back.
    if (tray.IsShown()) {
        hiddenInTray_ = true;
        hide();
    } else {
        setWindowState(windowState() | Qt::WindowMinimized);
    }
}

void frmKelvo::tray_LeftButtonUp()
{
    if (!hiddenInTray_ && !(windowState() & Qt::WindowMinimized))
        return;
    hiddenInTray_ = false;
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
}

void frmKelvo::cmdKelvo_MouseDown(qint16& Button, qint16&, float& X, float& Y)
{
    if (Button == 1) {
        // The press may already be over by the time it is handled.
        if (!(QGuiApplication::mouseButtons() & Qt::LeftButton))
            return;
        if (windowHandle() && windowHandle()->startSystemMove())
            return;
        // No window manager to move us: follow the pointer ourselves.
        manualDrag_ = true;
        dragStart_ = QCursor::pos() - pos();
    } else if (Button == 2) {
        if (!settings_)
            settings_ = new frmSettings();
        settings_->placeCorner(mapToGlobal(cmdKelvo->pos() + QPoint(qRound(X), qRound(Y))));
    }
}

bool frmKelvo::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == cmdKelvo && manualDrag_) {
        if (event->type() == QEvent::MouseMove)
            move(static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - dragStart_);
        else if (event->type() == QEvent::MouseButtonRelease)
            manualDrag_ = false;
    }
    return false;
}

void frmKelvo::cmdButton_MouseMove(int Index, qint16&, qint16&, float&, float&)
{
    CurrentKey = qint16(Index);
    setTimerEnabled(true);
}

void frmKelvo::cmdButton_MouseOut(int Index)
{
    setTimerEnabled(false);
    // The key just left may be noticed only after the pointer has landed on
    // the next one; a pointer that then rests there must still type it, so
    // its dwell starts afresh from here.
    if (Index != CurrentKey && cmdButton[CurrentKey]->IsPointerOver())
        setTimerEnabled(true);
}

void frmKelvo::cmdButton_GotFocus(int)
{
    cmdButton[0]->setFocus();
}

void frmKelvo::setTimerEnabled(bool enabled)
{
    // Enabling a running timer leaves its period alone, so a pointer that
    // keeps moving on a key still types it every period.
    if (!enabled)
        timerType.stop();
    else if (!timerType.isActive())
        timerType.start();
}

bool frmKelvo::send(const QString& keys, bool wait, bool guarded)
{
    const SendResult result = sender_.send(keys, wait);
    if (!result && !guarded) {
        // The reason may name the key, which only the trace may show.
        if (keystrokeTraceOn())
            std::fprintf(stderr, "kelvo: a key could not be typed: %s\n", qPrintable(result.error));
        else
            std::fprintf(stderr, "kelvo: a key could not be typed (KELVO_TRACE=1 says which)\n");
    }
    return result.sent || guarded;
}

void frmKelvo::toggleLatch(QChar sign, bool& latched, int keyIndex)
{
    send(ModifierPrefix + sign, true, true);
    latched = !latched;
    cmdButton[keyIndex]->setTint(latched);
}

void frmKelvo::timerType_Timer()
{
    ZorvicClick* key = cmdButton[CurrentKey];
    const QString caption = key->Caption();
    ModifierPrefix.clear();
    if (ShiftLatched)
        ModifierPrefix += u'+';
    if (CtrlLatched)
        ModifierPrefix += u'^';
    if (AltLatched)
        ModifierPrefix += u'%';
    const QString tag = key->Tag();
    const QString& P = ModifierPrefix;

    // Arrow keys go out at once: no wait, no beep, no event pass.
    static const std::pair<const char16_t*, const char*> arrows[] = {
        {u"Up", "{UP}"}, {u"Down", "{DOWN}"}, {u"Left", "{LEFT}"}, {u"Right", "{RIGHT}"}};
    for (const auto& [name, keys] : arrows) {
        if (tag == name) {
            send(P + QLatin1String(keys), false, false);
            return;
        }
    }

    // A key whose keystroke failed unguarded neither beeps nor goes on: the
    // beep would tell the user it was typed.
    bool typed = true;
    if (tag == u"TabLeft") {
        send(P + QStringLiteral("+{TAB}"), true, true);
    } else if (tag == u"TabRight") {
        send(P + QStringLiteral("{TAB}"), true, true);
    } else if (tag == u"Backspace") {
        typed = send(P + QStringLiteral("{BACKSPACE}"), true, false);
    } else {
        DoEvents();
        // The modifier keys send their sign alone, which names no key and is
        // refused; the latch is what they are for, so that is ignored.
        if (caption == u"Del") {
            send(P + QStringLiteral("{DEL}"), true, true);
        } else if (caption == u"Enter") {
            send(P + QStringLiteral("{ENTER}"), true, true);
        } else if (caption == u"Esc") {
            send(P + QStringLiteral("{ESC}"), true, true);
        } else if (caption == u"Shift") {
            toggleLatch(u'+', ShiftLatched, ShiftKey);
        } else if (caption == u"Ctrl") {
            toggleLatch(u'^', CtrlLatched, CtrlKey);
        } else if (caption == u"Alt") {
            toggleLatch(u'%', AltLatched, AltKey);
        } else if (caption == u"+") {
            send(P + QStringLiteral("{+}"), true, true);
        } else if (caption == u"&&") {
            send(P + QStringLiteral("&"), true, true);
        } else {
            const QString text = caption == u"Space" ? QStringLiteral(" ") : caption;
            typed = send(P + text.toLower(), true, false);
        }
    }
    if (!typed)
        return;
    // The pitch is that of the key the pointer is on now, which an event
    // pass above may have changed.
    if (BeepOn)
        tone_.beep(4000 - 30 * CurrentKey, BeepMs);
    DoEvents();
}

} // namespace kelvo
