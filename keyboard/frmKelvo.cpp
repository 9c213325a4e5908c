#include "keyboard/frmKelvo.h"

#include "button/ZorvicClick.h"
#include "keyboard/Main.h"
#include "keyboard/mAlphaIcon.h"
#include "platform/KeySender.h"
#include "platform/Platform.h"
#include "platform/Tone.h"
#include "platform/WindowRole.h"
#include "settings/frmSettings.h"

#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QWindow>

#include <cstdio>
#include <map>
#include <set>

namespace kelvo {

namespace {

// The window's background, and the colour keyed out of it.
const QColor FormBackColor(0, 255, 0);
constexpr int FormAlpha = 230;
constexpr int BeepMs = 5;
// How long the pointer rests on the logo, left alone by minimising, before
// the keys come back.
constexpr int LogoRestMs = 1000;

// Key indices of the three latching modifier keys.
constexpr int ShiftKey = 29;
constexpr int CtrlKey = 30;
constexpr int AltKey = 31;

QFont keyFont()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11); // 8.25 pt at 96 dpi
    font.setBold(true);
    return font;
}

} // namespace

frmKelvo::frmKelvo(KeySender& sender, Tone& tone, const StoredLayout& layout, QWidget* parent)
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
    // Beyond one device pixel to the logical pixel a move on a key's last
    // device pixels may come to the window itself (see mouseMoveEvent).
    setMouseTracking(true);

    loadLayout(layout);

    timerType.setTimerType(Qt::PreciseTimer);
    connect(&timerType, &QTimer::timeout, this, &frmKelvo::timerType_Timer);
    connect(&tray, &mdlTray::LeftButtonUp, this, &frmKelvo::tray_LeftButtonUp);
    logoRest_.setSingleShot(true);
    logoRest_.setInterval(LogoRestMs);
    connect(&logoRest_, &QTimer::timeout, this, [this] { showLogoOnly(false); });
}

frmKelvo::~frmKelvo()
{
    delete settings_;
}

StoredLayout frmKelvo::Layout()
{
    return readLayout(QString::fromLatin1(KeyboardLayoutPath));
}

void frmKelvo::loadLayout(const StoredLayout& layout)
{
    // The window has every key once, its three buttons and its timer, and
    // nothing else: checked before anything is made.
    std::set<std::pair<QString, int>> expected = {{QStringLiteral("cmdKelvo"), -1}, {QStringLiteral("cmdMinimize"), -1},
                                                  {QStringLiteral("cmdExit"), -1}, {QStringLiteral("timerType"), -1}};
    for (int i = 0; i < KeyCount; ++i)
        expected.emplace(QStringLiteral("cmdButton"), i);
    std::map<int, const StoredControl*> tabs;
    for (const StoredControl& control : layout.controls) {
        const bool timer = control.name == u"timerType";
        if (!expected.erase({control.name, control.index}))
            layout.fail(control, control.title(), QStringLiteral("the keyboard window has no such control"));
        if (timer != (control.kind == StoredControl::Timer))
            layout.fail(control, control.title(), timer ? QStringLiteral("is a timer") : QStringLiteral("is a button"));
        if (timer)
            continue;
        const auto [other, fresh] = tabs.emplace(control.tabIndex, &control);
        if (!fresh)
            layout.fail(control, QStringLiteral("tabindex"),
                        QStringLiteral("%1 is %2's tab index too").arg(control.tabIndex).arg(other->second->title()));
    }
    if (!expected.empty()) {
        const auto& [name, index] = *expected.begin();
        throw LayoutError(layout.file, layout.controls.empty() ? 0 : layout.controls.back().line,
                          index < 0 ? name : QStringLiteral("%1(%2)").arg(name).arg(index),
                          QStringLiteral("the keyboard window's control is missing"));
    }

    // Kept for saving: the tables, the comments and the order. What the
    // controls hold they write again.
    layout_ = layout;
    for (StoredControl& stored : layout_.controls) {
        stored.bag = PropertyBag();
        stored.keyLines = {};
    }
    controls_.assign(layout.controls.size(), nullptr);
    for (size_t i = 0; i < layout.controls.size(); ++i) {
        const StoredControl& stored = layout.controls[i];
        if (stored.kind == StoredControl::Timer) {
            timerType.setInterval(stored.interval);
            if (stored.enabled)
                timerType.start();
            continue;
        }
        auto* control = new ZorvicClick(this);
        controls_[i] = control;
        control->setObjectName(stored.title());
        control->setGeometry(pixelRect(stored.left, stored.top, stored.width, stored.height));
        try {
            control->ReadProperties(stored.bag);
        } catch (const PropertyError& error) {
            layout.fail(stored, error.key.toLower(), QString::fromUtf8(error.what()));
        }
        control->setTag(stored.tag);
        connect(control, &ZorvicClick::MaskChanged, this, &frmKelvo::controlMaskChanged);
        // What a screen reader says of it: its caption, else its tag.
        QString name = control->Caption().isEmpty() ? control->Tag() : control->Caption();
        control->setAccessibleName(name.replace(QStringLiteral("&&"), QStringLiteral("&")));

        if (stored.name == u"cmdKelvo") {
            cmdKelvo = control;
            cmdKelvo->setAccessibleName(QStringLiteral("Kelvo"));
            connect(cmdKelvo, &ZorvicClick::MouseDown, this, &frmKelvo::cmdKelvo_MouseDown);
            connect(cmdKelvo, &ZorvicClick::MouseMove, this, &frmKelvo::cmdKelvo_MouseMove);
            connect(cmdKelvo, &ZorvicClick::MouseOut, &logoRest_, &QTimer::stop);
            cmdKelvo->installEventFilter(this);
        } else if (stored.name == u"cmdMinimize") {
            cmdMinimize = control;
            cmdMinimize->setAccessibleName(QStringLiteral("Minimise"));
            connect(cmdMinimize, &ZorvicClick::Click, this, &frmKelvo::cmdMinimize_Click);
        } else if (stored.name == u"cmdExit") {
            cmdExit = control;
            cmdExit->setAccessibleName(QStringLiteral("Exit"));
            connect(cmdExit, &ZorvicClick::Click, this, &frmKelvo::cmdExit_Click);
        } else {
            const int index = stored.index;
            cmdButton[index] = control;
            connect(control, &ZorvicClick::MouseMove, this,
                    [this, index](qint16& button, qint16& shift, float& x, float& y) {
                        cmdButton_MouseMove(index, button, shift, x, y);
                    });
            connect(control, &ZorvicClick::MouseOut, this, [this, index] { cmdButton_MouseOut(index); });
            connect(control, &ZorvicClick::GotFocus, this, [this, index] { cmdButton_GotFocus(index); });
        }
    }

    QWidget* previous = nullptr;
    for (const auto& [tab, stored] : tabs) {
        QWidget* control = controls_[size_t(stored - layout.controls.data())];
        if (previous)
            setTabOrder(previous, control);
        previous = control;
    }
}

QByteArray frmKelvo::SaveLayout() const
{
    StoredLayout layout = layout_;
    // The tab order as the window has it: its controls in focus-chain order.
    std::map<const QWidget*, int> tabIndex;
    for (const QWidget* w = nextInFocusChain(); w != this; w = w->nextInFocusChain())
        tabIndex.emplace(w, int(tabIndex.size()));
    for (size_t i = 0; i < layout.controls.size(); ++i) {
        StoredControl& stored = layout.controls[i];
        if (stored.kind == StoredControl::Timer) {
            stored.enabled = timerType.isActive();
            stored.interval = timerType.interval();
            continue;
        }
        const ZorvicClick* control = controls_[i];
        const QRect place = control->geometry();
        stored.left = qint16(place.x() * TwipsPerPixel);
        stored.top = qint16(place.y() * TwipsPerPixel);
        stored.width = qint16(place.width() * TwipsPerPixel);
        stored.height = qint16(place.height() * TwipsPerPixel);
        stored.tabIndex = tabIndex.at(control);
        stored.tag = control->Tag();
        stored.bag = PropertyBag();
        control->WriteProperties(stored.bag);
    }
    return layout.write();
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
    currentWindowRole().adopt(this, WindowRole::Kind::Keyboard);
    const QRect area = TaskbarWorkArea();
    currentWindowRole().moveTo(this, QPoint(area.right() + 1 - width(), area.bottom() + 1 - height()));
    MakeTranslucent(this, FormBackColor, FormAlpha);
    shaped_ = true;
    // The tray icon need not hold up the keyboard's first showing: it is
    // put up as soon as the window has been shown.
    trayPending_ = true;
    QTimer::singleShot(0, this, [this] {
        if (trayPending_)
            tray.AddIcon(ProgramIcon(QStringLiteral("form")), QStringLiteral("Kelvo"));
        trayPending_ = false;
    });
}

void frmKelvo::Form_Activate()
{
    SetTopmost(this, 1);
}

void frmKelvo::Form_Unload()
{
    trayPending_ = false;
    tray.RemoveIcon();
}

void frmKelvo::showEvent(QShowEvent* event)
{
    // Keys that appear under a pointer at rest must not start typing.
    ZorvicClick::PointerStillAt(QCursor::pos());
    QWidget::showEvent(event);
    // The platform window may be new, and have taken the logical shape.
    if (shaped_ && devicePixelRatioF() != 1)
        ShapeToControls(this);
    Form_Activate();
}

void frmKelvo::mouseMoveEvent(QMouseEvent* event)
{
    // Qt finds the widget under the pointer by the nearest logical point;
    // the key whose device pixels hold the pointer is the one it is on.
    ZorvicClick::handMoveOn(this, event);
}

void frmKelvo::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Form_Activate();
    // Restored by the window manager: the keys come back under the pointer.
    if (event->type() == QEvent::WindowStateChange
        && (static_cast<QWindowStateChangeEvent*>(event)->oldState() & Qt::WindowMinimized)
        && !(windowState() & Qt::WindowMinimized))
        ZorvicClick::PointerStillAt(QCursor::pos());
}

void frmKelvo::closeEvent(QCloseEvent* event)
{
    // Closed from outside (a window manager's close, a taskbar's, WM_CLOSE):
    // the program ends as by the exit button. Only hiding the one window
    // that can end it would leave it running unseen, out of reach.
    if (event->spontaneous()) {
        event->ignore();
        cmdExit_Click();
        return;
    }
    QWidget::closeEvent(event);
}

void frmKelvo::cmdExit_Click()
{
    Form_Unload();
    hide();
    emit ended();
}

void frmKelvo::cmdMinimize_Click()
{
    if (IsMinimized())
        return;
    // With a tray icon to bring it back, the window is withdrawn outright:
    // asking the window manager to minimise it as well races with the
    // withdrawal and can leave it minimised where nothing restores it.
    // Without one, the window manager's minimise is the only way back.
    if (tray.IsShown()) {
        hiddenInTray_ = true;
        hide();
    } else if (currentWindowRole().canMinimize()) {
        setWindowState(windowState() | Qt::WindowMinimized);
    } else {
        showLogoOnly(true);
    }
}

void frmKelvo::showLogoOnly(bool logoOnly)
{
    // Where nothing could give a minimised window back, the logo stays
    // where it was, alone, as the way back for the pointer.
    logoOnly_ = logoOnly;
    logoRest_.stop();
    for (ZorvicClick* control : controls_)
        if (control && control != cmdKelvo)
            control->setVisible(!logoOnly);
    ShapeToControls(this);
}

void frmKelvo::cmdKelvo_MouseMove()
{
    if (logoOnly_ && !logoRest_.isActive())
        logoRest_.start();
}

void frmKelvo::tray_LeftButtonUp()
{
    if (!hiddenInTray_ && !(windowState() & Qt::WindowMinimized))
        return;
    hiddenInTray_ = false;
    setWindowState(windowState() & ~Qt::WindowMinimized);
    currentWindowRole().adopt(this, WindowRole::Kind::Keyboard);
    show();
}

void frmKelvo::cmdKelvo_MouseDown(qint16& Button, qint16&, float& X, float& Y)
{
    if (Button == 1 && logoOnly_) {
        showLogoOnly(false);
    } else if (Button == 1) {
        // The press may already be over by the time it is handled.
        if (!(QGuiApplication::mouseButtons() & Qt::LeftButton))
            return;
        if (currentWindowRole().startMove(this))
            return;
        // Nothing to move us: follow the pointer ourselves.
        manualDrag_ = true;
        dragStart_ = QCursor::pos() - currentWindowRole().position(this);
    } else if (Button == 2) {
        if (!settings_)
            settings_ = new frmSettings();
        // Placed from where the window role says the keyboard is: some
        // desktops (Wayland) tell a window nothing of its own place.
        settings_->placeCorner(currentWindowRole().position(this) + cmdKelvo->pos() + QPoint(qRound(X), qRound(Y)));
    }
}

bool frmKelvo::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == cmdKelvo && manualDrag_) {
        if (event->type() == QEvent::MouseMove)
            currentWindowRole().moveTo(this, static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - dragStart_);
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
    // A latch sends nothing by itself: the trace says where it stands.
    if (keystrokeTraceOn())
        std::fprintf(stderr, "kelvo: %s latch %s\n", qPrintable(cmdButton[keyIndex]->Caption()),
                     latched ? "on" : "off");
}

void frmKelvo::timerType_Timer()
{
    // A window put over the key where the pointer rests stops the typing
    // now, also on a desktop that says so only once the pointer moves.
    if (ZorvicClick::LookAgainAtPointer() && !cmdButton[CurrentKey]->IsPointerOver())
        return;
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
