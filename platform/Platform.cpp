#include "platform/Platform.h"

#include "platform/TroubleNotices.h"

#include <QCoreApplication>
#include <QUrl>

#if defined(_WIN32)
#include "platform/win/WaveOutTone.h"
#include "platform/win/WinKeySender.h"
#include "platform/win/WinPointerProbe.h"
#include "platform/win/WinWindowRole.h"
#include <io.h>
#else
#include "platform/freedesktop/FreedesktopNotifier.h"
#include "platform/pulse/PulseTone.h"
#include "platform/x11/X11KeySender.h"
#include "platform/x11/X11PointerProbe.h"
#include "platform/x11/X11WindowRole.h"
#include <QDBusConnection>
#include <unistd.h>
#endif

#if KELVO_WAYLAND
#include "platform/wayland/LayerShellRole.h"
#include "platform/wayland/WaylandConnection.h"
#include "platform/wayland/WaylandKeySender.h"
#include "platform/wayland/WaylandPointerProbe.h"
#include "platform/wayland/WaylandSession.h"
#include "platform/portal/PortalKeySender.h"
#include "platform/portal/SeatKeymapIndex.h"
#include <QFileInfo>
#include <QStandardPaths>
#endif

#include <cerrno>
#include <cstdio>

namespace kelvo {

namespace {

// How long a program about to end waits for its notice to reach the
// desktop.
constexpr int NoticeSettleMs = 2000;

} // namespace

#if defined(_WIN32)

void prepareSession(SessionUse) {}

namespace {

// A program of the windows subsystem has no standard error unless it was
// given one.
TroubleNotices& troubleNotices()
{
    // The user guide lies beside the program, as the installer puts it.
    static TroubleNotices notices(
        _isatty(_fileno(stderr)) != 0,
        QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + QStringLiteral("/guide/")).toString(QUrl::FullyEncoded),
        false);
    return notices;
}

} // namespace

void showTroubleNotices(Notifier* tray)
{
    troubleNotices().useNotifier(tray);
}

// Windows always has SendInput: nothing but a fault of Kelvo's own gets here.
void noticeCannotType(SenderProblem, const QString& why)
{
    TroubleNotices& notices = troubleNotices();
    notices.cannotType(TroubleNotices::NoWay::Other, why);
    notices.settle(NoticeSettleMs);
}

// Windows has one desktop per session and SendInput on every one of them.
SenderOpening openKeySender()
{
    return {std::make_unique<WinKeySender>(keystrokeTraceOn()), SenderProblem::None, {}};
}

std::unique_ptr<PointerProbe> openPointerProbe()
{
    return std::make_unique<WinPointerProbe>();
}

std::unique_ptr<Tone> openTone()
{
    return std::make_unique<WaveOutTone>();
}

std::unique_ptr<WindowRole> openWindowRole()
{
    return std::make_unique<WinWindowRole>();
}

void askToReachEveryProgram(KeySender&, WId) {}

#else

namespace {

// The ways into a desktop, chosen once per run.
enum class Backend {
    X11,     // an X server, or XWayland: XTest, X11 windows
    Wlroots, // a Wayland compositor with the layer shell and virtual keyboard
    Kwin,    // KWin: the layer shell, and fake input for programs it knows
};

struct Session {
    bool prepared = false;
    Backend backend = Backend::X11;
    // Why Wayland programs cannot be reached, when Kelvo goes through X11 on
    // a Wayland session; empty otherwise.
    QString unreachable;
    // How KDE Plasma would let us in, said after `unreachable` where it
    // applies.
    QString kdeHint;
    // The compositor answered, and offers no way in that we know.
    bool compositorLacks = false;
    // A Wayland session that only the desktop portal's remote desktop lets
    // us type into natively, with XWayland for the window meanwhile.
    bool portal = false;
#if KELVO_WAYLAND
    std::unique_ptr<WaylandConnection> connection; // the look at the compositor, kept for the sender
#endif
    bool keyboard = false; // the keyboard, not a one-shot program
    std::unique_ptr<TroubleNotices> notices;
    std::unique_ptr<Notifier> notifier;
};

Session& session()
{
    static Session current;
    return current;
}

// Why Wayland programs cannot be reached, as standard error says it.
QString unreachableSaid(const Session& s)
{
    return s.unreachable + s.kdeHint;
}

QString withoutXDisplay(const QString& unreachable)
{
    return QStringLiteral("%1, and there is no X display to go through instead (DISPLAY is not set)").arg(unreachable);
}

// The keyboard's notices, once the session has been looked at; null for a
// one-shot program, whose user reads what it says.
TroubleNotices* troubleNotices()
{
    Session& s = session();
    if (!s.keyboard)
        return nullptr;
    if (!s.notices)
        s.notices = std::make_unique<TroubleNotices>(
            isatty(STDERR_FILENO) == 1,
            QUrl::fromLocalFile(QStringLiteral(KELVO_GUIDE_DIR "/")).toString(QUrl::FullyEncoded),
            !s.kdeHint.isEmpty());
    return s.notices.get();
}

// The notifier goes before the bus connections it holds.
void dropNotifier()
{
    Session& s = session();
    if (s.notices)
        s.notices->useNotifier(nullptr);
    s.notifier.reset();
}

#if KELVO_WAYLAND
// What each Wayland backend needs of the compositor, in the order they are
// tried: the first whose globals are all offered is taken.
struct WaylandGlobal {
    const char* interface;
    const char* what; // for people
};

struct WaylandBackend {
    Backend backend;
    std::vector<WaylandGlobal> globals;
};

const WaylandBackend WaylandBackends[] = {
    {Backend::Wlroots,
     {{"zwlr_layer_shell_v1", "the layer shell"}, {"zwp_virtual_keyboard_manager_v1", "the virtual keyboard"}}},
    {Backend::Kwin, {{"zwlr_layer_shell_v1", "the layer shell"}, {"org_kde_kwin_fake_input", "fake input"}}},
};

// The program that has this Plasma reread its menu entries: Plasma 6's
// kbuildsycoca6 (whose KWin offers the layer shell at version 4 or later;
// Plasma 5's, at 3), else Plasma 5's kbuildsycoca5; whichever is installed,
// where only one is.
QString kdeServiceCacheTool(const WaylandConnection& connection)
{
    const WaylandConnection::Global* shell = connection.find("zwlr_layer_shell_v1");
    QString tool = QStringLiteral("kbuildsycoca%1").arg(shell && shell->version >= 4 ? 6 : 5);
    const QString other = tool.endsWith(u'6') ? QStringLiteral("kbuildsycoca5") : QStringLiteral("kbuildsycoca6");
    if (QStandardPaths::findExecutable(tool).isEmpty() && !QStandardPaths::findExecutable(other).isEmpty())
        tool = other;
    return tool;
}

// Looks at the compositor WAYLAND_DISPLAY names: takes the first backend it
// can serve, or says why none fits.
void chooseWaylandBackend(Session& s)
{
    QString error;
    std::unique_ptr<WaylandConnection> connection = WaylandConnection::open(&error);
    if (!connection) {
        s.unreachable = error;
        return;
    }
    QStringList lacking;
    for (const WaylandBackend& candidate : WaylandBackends) {
        QStringList missing;
        for (const WaylandGlobal& global : candidate.globals)
            if (!connection->find(global.interface))
                missing << QStringLiteral("%1 (%2)").arg(QLatin1String(global.what), QLatin1String(global.interface));
        if (missing.isEmpty()) {
            s.backend = candidate.backend;
            s.connection = std::move(connection);
            return;
        }
        lacking << missing;
    }
    lacking.removeDuplicates();
    s.unreachable = QStringLiteral("the Wayland compositor \"%1\" lacks %2")
                        .arg(connection->name(), lacking.join(QStringLiteral(" and ")));
    s.compositorLacks = true;
    // KWin keeps fake input for the programs it knows of: say how it learns.
    if (connection->find("org_kde_plasma_shell") && !connection->find("org_kde_kwin_fake_input"))
        s.kdeHint = QStringLiteral(
            " (KDE Plasma offers fake input only to a program that an installed menu entry names by its "
            "full path: installing Kelvo puts one in place; run from a build folder, copy the folder's "
            "org.kelvo.Kelvo.BuildFolder.desktop into ~/.local/share/applications and run %1)")
                             .arg(kdeServiceCacheTool(*connection));
    s.connection = std::move(connection); // kept for the seat's keymap, should the portal be granted
}
#endif

} // namespace

void prepareSession(SessionUse use)
{
    Session& s = session();
    if (s.prepared)
        return;
    s.prepared = true;
    s.keyboard = use == SessionUse::Keyboard;
#if KELVO_WAYLAND
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return;
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith(u"wayland")) {
        s.unreachable = QStringLiteral("QT_QPA_PLATFORM=%1 asks for another window system than Wayland").arg(platform);
    } else {
        chooseWaylandBackend(s);
        s.portal = s.backend == Backend::X11 && s.connection;
    }
    if (s.backend != Backend::X11) {
        prepareQtForWayland();
        return;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        s.portal = false;
        return; // openKeySender says why nothing can be reached
    }
    // The X11 way works through XWayland, for X11 programs alone; the
    // windows must be X11 windows for it too. The keyboard may be allowed
    // more by the desktop portal; a one-shot program never asks.
    if (platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", "xcb");
    if (use != SessionUse::Keyboard)
        s.portal = false;
    if (!s.portal) { // else said once the portal has answered
        std::fprintf(stderr, "%s: %s; going through XWayland, so keystrokes reach X11 programs only\n",
                     program_invocation_short_name, qPrintable(unreachableSaid(s)));
        if (TroubleNotices* notices = troubleNotices())
            notices->x11ProgramsOnly(platform.isEmpty() || platform.startsWith(u"wayland")
                                         ? TroubleNotices::OnlyX11::NoWayland
                                         : TroubleNotices::OnlyX11::QtPlatform,
                                     s.unreachable);
    }
#else
    (void)use;
#endif
}

SenderOpening openKeySender()
{
    prepareSession();
    Session& s = session();
#if KELVO_WAYLAND
    if (s.backend != Backend::X11) {
        std::unique_ptr<WaylandConnection> connection = std::move(s.connection);
        QString error;
        if (!connection && !(connection = WaylandConnection::open(&error)))
            return {nullptr, SenderProblem::NoDisplay, error};
        SenderOpening opening = WaylandKeySender::open(std::move(connection), keystrokeTraceOn());
        if (opening.sender)
            watchCompositor(static_cast<WaylandKeySender*>(opening.sender.get()));
        return opening;
    }
#endif
    if (!s.unreachable.isEmpty() && qEnvironmentVariableIsEmpty("DISPLAY"))
        return {nullptr, SenderProblem::NoDisplay, withoutXDisplay(unreachableSaid(s))};
    SenderOpening opening = X11KeySender::open(keystrokeTraceOn());
#if KELVO_WAYLAND
    if (s.portal && opening.sender) {
        // The seat's keymap, over our own connection, to check keys against.
        auto keymap = std::make_shared<SeatKeymapIndex>(std::move(s.connection));
        auto lookup = [keymap]() { return keymap->current(); };
        auto seatKeyboard = [keymap](std::chrono::steady_clock::time_point deadline) {
            return keymap->keyboardSince(deadline);
        };
        opening.sender = std::make_unique<PortalKeySender>(std::move(opening.sender), lookup, keystrokeTraceOn(),
                                                           seatKeyboard);
    }
#endif
    return opening;
}

void askToReachEveryProgram(KeySender& sender, WId window)
{
#if KELVO_WAYLAND
    auto* portal = dynamic_cast<PortalKeySender*>(&sender);
    if (!portal)
        return;
    const QString parent = window ? QStringLiteral("x11:%1").arg(window, 0, 16) : QString();
    // A connection of its own, so that the portal hears who we are before
    // anything else on it asks the portal for anything.
    const QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("kelvo-portal"));
    const RemoteDesktopPortal::Remembering remembering{QStringLiteral(KELVO_APP_ID), RestoreTokenFile::defaultPath()};
    portal->ask(
        bus, parent,
        [unreachable = unreachableSaid(session()), answered = false](bool granted, const QString& why,
                                                                      RemoteDesktopPortal::Failure failure) mutable {
            const char* name = program_invocation_short_name;
            if (answered)
                std::fprintf(stderr, "%s: %s; from now on keystrokes reach X11 programs only\n", name, qPrintable(why));
            else if (granted)
                std::fprintf(stderr, "%s: %s; the window goes through XWayland, and keystrokes reach "
                                     "every program through the desktop portal\n",
                             name, qPrintable(unreachable));
            else
                std::fprintf(stderr, "%s: %s; going through XWayland, so keystrokes reach X11 programs "
                                     "only (%s)\n",
                             name, qPrintable(unreachable), qPrintable(why));
            TroubleNotices* notices = troubleNotices();
            if (notices && (answered || !granted))
                notices->x11ProgramsOnly(!answered && failure == RemoteDesktopPortal::Failure::Missing
                                             ? TroubleNotices::OnlyX11::PortalMissing
                                             : TroubleNotices::OnlyX11::NotAllowed,
                                         why);
            answered = true;
        },
        remembering,
        [folder = QFileInfo(remembering.tokenFile).path()](RemoteDesktopPortal::NoteKind kind, const QString& text,
                                                           const QString& why) {
            std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, qPrintable(text));
            // Asked again, the user can answer again, and it is kept then.
            TroubleNotices* notices = troubleNotices();
            if (notices && kind == RemoteDesktopPortal::NoteKind::NotRemembered)
                notices->notRemembered(why, folder);
        });
#else
    (void)sender;
    (void)window;
#endif
}

void showTroubleNotices(Notifier*)
{
    Session& s = session();
    TroubleNotices* notices = troubleNotices();
    if (!notices || notices->quiet() || s.notifier)
        return;
    s.notifier = std::make_unique<FreedesktopNotifier>(QDBusConnection::sessionBus(), QStringLiteral(KELVO_APP_ID));
    notices->useNotifier(s.notifier.get());
    qAddPostRoutine(dropNotifier);
}

void noticeCannotType(SenderProblem problem, const QString& why)
{
    const Session& s = session();
    TroubleNotices* notices = troubleNotices();
    if (!notices)
        return;
    using NoWay = TroubleNotices::NoWay;
    if (problem == SenderProblem::NoInjection)
        notices->cannotType(s.backend == Backend::X11 ? NoWay::NoXTest : NoWay::Other, why);
    else if (s.compositorLacks && qEnvironmentVariableIsEmpty("DISPLAY"))
        notices->cannotType(NoWay::NoXDisplay, withoutXDisplay(s.unreachable));
    else
        notices->cannotType(NoWay::NoDisplay, why);
    notices->settle(NoticeSettleMs);
}

std::unique_ptr<PointerProbe> openPointerProbe()
{
#if KELVO_WAYLAND
    if (session().backend != Backend::X11)
        return std::make_unique<WaylandPointerProbe>();
#endif
    return X11PointerProbe::open();
}

std::unique_ptr<Tone> openTone()
{
    return std::make_unique<PulseTone>();
}

std::unique_ptr<WindowRole> openWindowRole()
{
#if KELVO_WAYLAND
    if (session().backend != Backend::X11) {
        if (std::unique_ptr<LayerShellRole> role = LayerShellRole::open())
            return role;
        std::fprintf(stderr, "%s: the layer shell cannot be reached through Qt's Wayland connection; "
                             "the windows are plain ones\n",
                     program_invocation_short_name);
    }
#endif
    if (std::unique_ptr<WindowRole> role = X11WindowRole::open())
        return role;
    return std::make_unique<WindowRole>();
}

#endif

} // namespace kelvo
