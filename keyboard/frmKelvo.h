#pragma once
// The keyboard window: 62 keys laid out as an open hand, a logo button that
// drags the window and opens the settings, a minimise and an exit button,
// and the dwell typing that turns a resting pointer into keystrokes.

#include "keyboard/KeyLayout.h"
#include "keyboard/StoredLayout.h"
#include "keyboard/mdlTray.h"
#include "settings/frmSettings.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <array>
#include <vector>

namespace kelvo {

class KeySender;
class Tone;
class ZorvicClick;

class frmKelvo : public QWidget {
    Q_OBJECT

public:
    // Keystrokes go out through `sender`, beeps through `tone`; both outlive
    // the form. The controls are made from `layout`; a layout that is not
    // the keyboard window's fails with a LayoutError.
    frmKelvo(KeySender& sender, Tone& tone, const StoredLayout& layout = Layout(), QWidget* parent = nullptr);
    ~frmKelvo() override;

    // Window icons, the beep, placement, translucency and the tray icon.
    void Form_Load();
    // Keeps the window above the others each time it is shown or activated.
    void Form_Activate();
    // Takes the tray icon away.
    void Form_Unload();

    void cmdExit_Click();
    void cmdMinimize_Click();
    void cmdKelvo_MouseDown(qint16& Button, qint16& Shift, float& X, float& Y);

    void cmdButton_MouseMove(int Index, qint16& Button, qint16& Shift, float& X, float& Y);
    void cmdButton_MouseOut(int Index);
    void cmdButton_GotFocus(int Index);
    // The dwell tick: types the key the pointer rests on.
    void timerType_Timer();
    // The left mouse button was released over the tray icon.
    void tray_LeftButtonUp();

    std::array<ZorvicClick*, KeyCount> cmdButton{};
    ZorvicClick* cmdKelvo = nullptr;
    ZorvicClick* cmdMinimize = nullptr;
    ZorvicClick* cmdExit = nullptr;
    QTimer timerType;
    mdlTray tray;

    // Key index of the key the pointer last moved over.
    qint16 CurrentKey = 0;
    bool ShiftLatched = false;
    bool CtrlLatched = false;
    bool AltLatched = false;
    // "+", "^", "%" for the latched modifiers, in that order.
    QString ModifierPrefix;

    // True while the window is minimised: hidden into the tray, left to the
    // window manager where there is no tray, or, where neither can give it
    // back, shrunk to its logo.
    bool IsMinimized() const { return hiddenInTray_ || logoOnly_ || (windowState() & Qt::WindowMinimized); }
    // True while only the logo shows; resting the pointer on it for a
    // second, or a left click on it, brings the keys back.
    bool IsLogoOnly() const { return logoOnly_; }

    // The stored layout built into the program; LayoutError when it is wrong.
    static StoredLayout Layout();
    // The window's layout as it stands, in the stored layout's text.
    QByteArray SaveLayout() const;

    // The settings dialog, while it exists.
    frmSettings* settings() const { return settings_; }

signals:
    // The exit button was clicked; the program ends.
    void ended();

protected:
    void showEvent(QShowEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void loadLayout(const StoredLayout& layout);
    void controlMaskChanged();
    void setTimerEnabled(bool enabled);
    bool send(const QString& keys, bool wait, bool guarded);
    // Types a modifier key: its sign after the prefix, then flips its latch
    // and the tint of its key.
    void toggleLatch(QChar sign, bool& latched, int keyIndex);
    // Hides every control but the logo (true), or shows them all again.
    void showLogoOnly(bool logoOnly);
    void cmdKelvo_MouseMove();

    StoredLayout layout_;                // as loaded, for saving
    std::vector<ZorvicClick*> controls_; // by the layout's controls; null for the timer
    KeySender& sender_;
    Tone& tone_;
    QPointer<frmSettings> settings_;
    bool trayPending_ = false;  // the tray icon is to be put up once the window shows
    bool hiddenInTray_ = false; // minimised into the tray icon
    bool logoOnly_ = false;     // minimised to the logo alone
    QTimer logoRest_;           // the pointer resting on the logo alone
    bool shaped_ = false;        // the window is cut to its controls
    bool reshapeQueued_ = false; // a control's shape changed; the window's follows
    bool manualDrag_ = false;   // moving the window ourselves, without a window manager
    QPoint dragStart_;          // pointer minus window position when the drag began
};

} // namespace kelvo
