#pragma once
// A client of the desktop portal's remote-desktop interface
// (org.freedesktop.portal.RemoteDesktop), for its keyboard alone: the way a
// program that is not the compositor types into every window of a desktop
// that offers no protocol for it (GNOME's Wayland session). The desktop asks
// the user whether to allow it; the answer comes whenever the user gives it,
// so everything here is asynchronous and told by signals.

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>
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

    // Talks to the portal on `bus` (the session bus, or a test's own).
    explicit RemoteDesktopPortal(QDBusConnection bus, QObject* parent = nullptr);
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
    void unavailable(const QString& why);

private slots:
    void onResponse(const QDBusMessage& message);
    void onSessionClosed();
    void onPortalGone();

private:
    using Then = std::function<void(uint code, const QVariantMap& results)>;

    void request(const QString& method, QList<QVariant> arguments, QVariantMap options, Then then);
    void createSession();
    void fail(const QString& why);
    QString token();

    QDBusConnection bus_;
    State state_ = State::Idle;
    QString parentWindow_;
    QString session_;            // the session's object path, once created
    QString pendingPath_;        // the Request whose Response is awaited
    Then pendingThen_;
    std::vector<QDBusPendingCall> inFlight_; // key events not yet flushed
    QDBusServiceWatcher* watcher_ = nullptr;
    int tokens_ = 0;
};

} // namespace kelvo
