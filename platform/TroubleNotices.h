#pragma once
// Which of the troubles Kelvo tells of on standard error are also shown as
// desktop notices, and in what words: the ones that leave a user unable to
// type, or typing into X11 programs only, or asked for the desktop's
// permission at every start, each with the one step to take and the user
// guide's page about it. Nothing is shown while standard error is a
// terminal: someone reads it there.

#include "platform/Notifier.h"

#include <vector>

namespace kelvo {

class TroubleNotices {
public:
    // Why Kelvo cannot type at all, as far as the step to take differs.
    enum class NoWay {
        NoDisplay,  // no display server could be reached
        NoXDisplay, // a Wayland desktop Kelvo has no way into, and no X display
        NoXTest,    // an X server without the XTest or XKB extension
        Other,      // a way in that does not work
    };
    // Why keystrokes reach X11 programs only.
    enum class OnlyX11 {
        QtPlatform,    // QT_QPA_PLATFORM asks for another window system
        NoWayland,     // the Wayland compositor could not be reached
        PortalMissing, // no desktop portal with a remote-desktop keyboard
        NotAllowed,    // the portal refused or failed, or ended the session
    };

    // `guide`: the user guide's folder, as an address ending in "/". `kde`:
    // the desktop is KDE Plasma, which lets a program type that an installed
    // menu entry names.
    TroubleNotices(bool stderrIsTerminal, QString guide, bool kde);

    // From now on notices go to `notifier` (or, when null, are held
    // again); those told before go at once. It must outlive its use here.
    void useNotifier(Notifier* notifier);
    // True while standard error is a terminal: then nothing is shown.
    bool quiet() const { return quiet_; }

    // Each takes what standard error said, a clause without its full stop.
    void cannotType(NoWay why, const QString& said);
    void x11ProgramsOnly(OnlyX11 why, const QString& said);
    // `folder` is where the permission would have been kept.
    void notRemembered(const QString& said, const QString& folder);

    // As Notifier::settle, for a program about to end.
    void settle(int ms);

private:
    void tell(const QString& summary, const QString& said, const QString& step, const char* anchor);

    bool quiet_;
    QString guide_;
    bool kde_;
    Notifier* notifier_ = nullptr;
    std::vector<Notice> held_; // told before there was a notifier
};

} // namespace kelvo
