#pragma once
// The one place that picks the platform backends: for this build, and on
// Linux for this session, from what its display server offers.

#include "platform/KeySender.h"
#include "platform/PointerProbe.h"
#include "platform/Tone.h"
#include "platform/WindowRole.h"

#include <QString>
#include <QWindow>

class QCoreApplication;

namespace kelvo {
class Notifier;
}

#include <memory>

namespace kelvo {

enum class SenderProblem {
    None,
    NoDisplay,   // the display server could not be reached
    NoInjection, // it has no way to inject keystrokes (no XTest)
};

struct SenderOpening {
    std::unique_ptr<KeySender> sender;   // null when problem is not None
    SenderProblem problem = SenderProblem::None;
    QString error;                        // a sentence for people
};

// What the program is: the keyboard may ask the desktop for permissions
// (once a run, when the session needs one); a one-shot tool never does.
enum class SessionUse { OneShot, Keyboard };

// Looks at the session once, before the toolkit starts: decides which
// backends the open functions below give, and tells Qt what it must know
// before its platform starts (which platform plugin to use, say). Says on
// standard error, once, what this session cannot reach. Calling it again
// does nothing.
void prepareSession(SessionUse use = SessionUse::OneShot);

// Connects the key sender to the desktop named by the environment (DISPLAY;
// on Windows, the session's own desktop).
SenderOpening openKeySender();

// Where the session lets keystrokes reach every program only with the
// user's permission (a Wayland desktop without a native way in, through the
// desktop portal), asks for it, once, without waiting for the answer: until
// it comes, `sender` types where it can, and when the permission cannot be
// had it says so on standard error and goes on that way. `window` is the
// window the question is about, or 0. Needs the application object; does
// nothing for other senders and sessions.
void askToReachEveryProgram(KeySender& sender, WId window);

// From now on, and at once for what was said before, what standard error
// says of the troubles a user must act on (Kelvo cannot type here, types
// into X11 programs only, cannot remember the desktop's permission) is also
// shown as a desktop notice, for whoever started the keyboard from a menu or
// at login, where nobody reads standard error; never while standard error
// is a terminal. `tray` shows them where the desktop has no notice service
// of its own (Windows), or is null; it must outlive the notices. Needs the
// application object (a QCoreApplication will do); calling it again does
// nothing.
void showTroubleNotices(Notifier* tray = nullptr);

// Tells, as showTroubleNotices does, that the keyboard cannot type here:
// `problem` and `why` as an opening of the sender gave them (which standard
// error has said). Waits a moment, at most a few seconds, until the desktop
// has the notice: the program ends next.
void noticeCannotType(SenderProblem problem, const QString& why);

// The pointer as the desktop's display server sees it; null when the
// display cannot be reached.
std::unique_ptr<PointerProbe> openPointerProbe();

// The tone of this platform; a silent one where no sound device exists.
std::unique_ptr<Tone> openTone();

// The role of the program's windows on this desktop; called once the
// application object exists.
std::unique_ptr<WindowRole> openWindowRole();

// Makes the requests to end the process that this platform sends end
// `app`'s event loop with status 0 instead, so that the program tidies up on
// its way out: SIGTERM, SIGINT and SIGHUP on Linux; on Windows a console's
// Ctrl+C, Ctrl+Break and closing (the end of the session and WM_CLOSE reach
// the windows themselves).
void quitOnEndRequests(QCoreApplication& app);

// For programs without an event loop: from holdEndRequests() until
// releaseEndRequests(), a request to end the process (the ones above, and
// SIGQUIT) waits, and takes effect once they are released, so that the
// process is never ended half-way through a send.
void holdEndRequests();
void releaseEndRequests();

// One pass of the event loop: pending events are dispatched, which may run
// other handlers before the caller goes on.
void DoEvents();

} // namespace kelvo
