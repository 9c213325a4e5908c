#pragma once
// A client of the desktop portal's remote-desktop interface
// (org.freedesktop.portal.RemoteDesktop), for its keyboard alone: the way a
// program that is not the compositor types into every window of a desktop
// that offers no protocol for it (GNOME's Wayland session). The desktop asks
// the user whether to allow it; the answer comes whenever the user gives it,
// so everything here is asynchronous and told by signals.
//
// A portal of version 2 or later can remember the answer: the session is
// asked for until revoked, and the token it hands back for that is kept in
// a file (RestoreTokenFile) and given at the next start, when no question
// is shown. The program says who it is first (the portal's registry), so
// the grant is Kelvo's however it was started.

#include "platform/portal/RestoreTokenFile.h"

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <optional>
#include <vector>

class QDBusMessage;
class QDBusServiceWatcher;

namespace kelvo {

class RemoteDesktopPortal : public QObject {
    Q_OBJECT
public:
    enum class State {
        Idle,        // not asked yet
        Asking,      // the request is on its way or the user is deciding
        Granted,     // keysyms can be sent
        Unavailable, // refused, failed, absent or gone; final
    };

    // Why the keyboard cannot be had, as far as what to do about it differs.
    enum class Failure {
        Missing, // no portal, or one without a remote-desktop keyboard
        Refused, // the user said no
        Failed,  // the portal or the desktop failed, or went away
    };

    // What a notice is about.
    enum class NoteKind {
        Unusable,    // the remembered answer cannot be used: the desktop asks again
        NotRemembered, // the answer given cannot be kept for the next start
    };

    // What is remembered between runs, and as whom.
    struct Remembering {
        QString appId;     // registered with the portal first; empty: not at all
        QString tokenFile; // where the grant is kept; empty: never remembered
    };

    // Talks to the portal on `bus` (the session bus, or a test's own); that
    // connection must not have called the portal before, or the portal
    // already knows it by another application ID.
    explicit RemoteDesktopPortal(QDBusConnection bus, Remembering remembering = {}, QObject* parent = nullptr);
    // Closes the session, when one was started.
    ~RemoteDesktopPortal() override;

    // Asks for a keyboard session, once; `parentWindow` is the portal's
    // handle of the window the question belongs to ("x11:1a00003"), or empty.
    void ask(const QString& parentWindow = {});
    State state() const { return state_; }

    // Sends one key event by keysym; false, sending nothing, unless granted.
    bool notifyKeysym(quint32 keysym, bool pressed);
    // Waits until the portal has taken every event sent since the last call;
    // false, with `error` saying why, when it refused one or went away.
    bool flush(QString* error);

signals:
    // The user allowed it: keysyms go to the focused window from now on.
    void granted();
    // It cannot be had, or is had no longer: `why` is a clause for people.
    void unavailable(const QString& why, kelvo::RemoteDesktopPortal::Failure failure);
    // Something the user should know about the remembered answer: why the
    // question is asked again, or why it cannot be remembered. `text` is a
    // sentence without its full stop, `why` the reason it gives.
    void notice(kelvo::RemoteDesktopPortal::NoteKind kind, const QString& text, const QString& why);

private slots:
    void onResponse(const QDBusMessage& message);
    void onSessionClosed();
    void onPortalGone();

private:
    using Then = std::function<void(uint code, const QVariantMap& results)>;

    void request(const QString& method, QList<QVariant> arguments, QVariantMap options, Then then);
    void registerApp();
    void readProperties();
    bool remembers() const; // the portal can remember, and we have where to keep it
    void recall();
    void remember(const QVariantMap& results);
    void createSession();
    void fail(const QString& why, Failure failure = Failure::Failed);
    void fail(const QDBusError& error);
    QString token();

    QDBusConnection bus_;
    Remembering remembering_;
    QString appId_;                       // the ID the portal knows us by
    uint version_ = 1;                    // of the portal's RemoteDesktop interface
    std::optional<QString> restoreToken_; // the grant to restore, when there is one
    State state_ = State::Idle;
    QString parentWindow_;
    QString session_;            // the session's object path, once created
    QString pendingPath_;        // the Request whose Response is awaited
    Then pendingThen_;
    std::vector<QDBusPendingCall> inFlight_; // the key event not yet answered, at most one
    QDBusServiceWatcher* watcher_ = nullptr;
    int tokens_ = 0;
};

} // namespace kelvo
