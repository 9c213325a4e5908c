#include "platform/portal/RemoteDesktopPortal.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

namespace kelvo {

namespace {

const QString Service = QStringLiteral("org.freedesktop.portal.Desktop");
const QString Path = QStringLiteral("/org/freedesktop/portal/desktop");
const QString Interface = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString Registry = QStringLiteral("org.freedesktop.host.portal.Registry");
constexpr uint Keyboard = 1;        // the device type bit of a keyboard
constexpr uint UntilRevoked = 2;    // persist_mode: remembered until the user revokes it
constexpr uint RemembersFrom = 2;   // the interface's version that takes persist_mode

using Failure = RemoteDesktopPortal::Failure;

struct Described {
    QString why; // for people
    Failure failure;
};

// What a D-Bus error from the portal means to a user.
Described describe(const QDBusError& error)
{
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::NoReply:
    case QDBusError::Disconnected:
        return {QStringLiteral("the desktop portal (xdg-desktop-portal) is not running"), Failure::Missing};
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownMethod:
    case QDBusError::UnknownObject:
    case QDBusError::InvalidArgs:
        return {QStringLiteral("the desktop portal offers no remote desktop"), Failure::Missing};
    default:
        return {QStringLiteral("the desktop portal failed (%1)").arg(error.message()), Failure::Failed};
    }
}

} // namespace

RemoteDesktopPortal::RemoteDesktopPortal(QDBusConnection bus, Remembering remembering, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), remembering_(std::move(remembering))
{
}

RemoteDesktopPortal::~RemoteDesktopPortal()
{
    if (!session_.isEmpty() && state_ != State::Unavailable)
        bus_.call(QDBusMessage::createMethodCall(Service, session_, QStringLiteral("org.freedesktop.portal.Session"),
                                                 QStringLiteral("Close")),
                  QDBus::NoBlock);
}

QString RemoteDesktopPortal::token()
{
    return QStringLiteral("kelvo%1_%2").arg(QCoreApplication::applicationPid()).arg(++tokens_);
}

void RemoteDesktopPortal::fail(const QString& why, Failure failure)
{
    if (state_ == State::Unavailable)
        return;
    state_ = State::Unavailable;
    pendingPath_.clear();
    pendingThen_ = nullptr;
    emit unavailable(why, failure);
}

void RemoteDesktopPortal::fail(const QDBusError& error)
{
    const Described described = describe(error);
    fail(described.why, described.failure);
}

void RemoteDesktopPortal::ask(const QString& parentWindow)
{
    if (state_ != State::Idle)
        return;
    state_ = State::Asking;
    parentWindow_ = parentWindow;
    if (!bus_.isConnected()) {
        fail(QStringLiteral("there is no session bus to reach the desktop portal on"), Failure::Missing);
        return;
    }
    watcher_ = new QDBusServiceWatcher(Service, bus_, QDBusServiceWatcher::WatchForUnregistration, this);
    connect(watcher_, &QDBusServiceWatcher::serviceUnregistered, this, &RemoteDesktopPortal::onPortalGone);
    if (remembering_.appId.isEmpty())
        readProperties();
    else
        registerApp();
}

void RemoteDesktopPortal::registerApp()
{
    // Heard only as the connection's first call to the portal. A portal
    // without the registry, or one that finds no menu entry of ours, knows
    // us by no ID (or by what the session manager says), and grants made
    // so are kept apart from those made to the ID.
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Registry, QStringLiteral("Register"));
    call << remembering_.appId << QVariantMap();
    auto* reply = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(reply, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        if (!call->isError())
            appId_ = remembering_.appId;
        readProperties();
    });
}

void RemoteDesktopPortal::readProperties()
{
    QDBusMessage get = QDBusMessage::createMethodCall(Service, Path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("GetAll"));
    get << Interface;
    auto* reply = new QDBusPendingCallWatcher(bus_.asyncCall(get), this);
    connect(reply, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        QDBusPendingReply<QVariantMap> properties = *call;
        if (properties.isError()) {
            fail(properties.error());
            return;
        }
        if (!(properties.value().value(QStringLiteral("AvailableDeviceTypes")).toUInt() & Keyboard)) {
            fail(QStringLiteral("the desktop portal's remote desktop offers no keyboard"), Failure::Missing);
            return;
        }
        version_ = properties.value().value(QStringLiteral("version"), 1u).toUInt();
        recall();
        createSession();
    });
}

bool RemoteDesktopPortal::remembers() const
{
    return version_ >= RemembersFrom && !remembering_.tokenFile.isEmpty();
}

void RemoteDesktopPortal::recall()
{
    if (!remembers())
        return;
    const RestoreTokenFile file(remembering_.tokenFile);
    QString why;
    const std::optional<RememberedGrant> grant = file.read(&why);
    if (grant && grant->appId == appId_) {
        restoreToken_ = grant->token;
        return;
    }
    if (grant) {
        const auto known = [](const QString& id) {
            return id.isEmpty() ? QStringLiteral("no application ID") : QStringLiteral("the application ID %1").arg(id);
        };
        why = QStringLiteral("it was given under %1, and the desktop now knows Kelvo by %2")
                  .arg(known(grant->appId), known(appId_));
    }
    if (!why.isEmpty())
        emit notice(NoteKind::Unusable,
                    QStringLiteral("the permission remembered in %1 could not be used (%2); the desktop asks again")
                        .arg(file.path(), why),
                    why);
}

void RemoteDesktopPortal::remember(const QVariantMap& results)
{
    if (!remembers())
        return;
    // The portal forgets the grant a token named once it is used, and
    // keeps it again under the token it hands back now.
    const QString token = results.value(QStringLiteral("restore_token")).toString();
    const RestoreTokenFile file(remembering_.tokenFile);
    QString why;
    if (token.isEmpty()) {
        // Not to be remembered (the user said so, or the desktop will not):
        // a token kept from before names nothing any more.
        file.forget();
        return;
    }
    if (!file.write({appId_, token}, &why))
        emit notice(NoteKind::NotRemembered,
                    QStringLiteral("the desktop's permission cannot be remembered (%1); it asks again at the next "
                                   "start")
                        .arg(why),
                    why);
}

void RemoteDesktopPortal::createSession()
{
    request(QStringLiteral("CreateSession"), {}, {{QStringLiteral("session_handle_token"), token()}},
            [this](uint code, const QVariantMap& results) {
                session_ = results.value(QStringLiteral("session_handle")).toString();
                if (code != 0 || session_.isEmpty()) {
                    fail(QStringLiteral("the desktop portal would not open a remote-desktop session"));
                    return;
                }
                bus_.connect(Service, session_, QStringLiteral("org.freedesktop.portal.Session"),
                             QStringLiteral("Closed"), this, SLOT(onSessionClosed()));
                QVariantMap devices{{QStringLiteral("types"), Keyboard}};
                if (remembers()) {
                    devices.insert(QStringLiteral("persist_mode"), UntilRevoked);
                    if (restoreToken_)
                        devices.insert(QStringLiteral("restore_token"), *restoreToken_);
                }
                request(QStringLiteral("SelectDevices"), {QVariant::fromValue(QDBusObjectPath(session_))}, devices,
                        [this](uint code, const QVariantMap&) {
                            if (code != 0) {
                                fail(QStringLiteral("the desktop portal would not give a keyboard"));
                                return;
                            }
                            request(QStringLiteral("Start"),
                                    {QVariant::fromValue(QDBusObjectPath(session_)), parentWindow_}, {},
                                    [this](uint code, const QVariantMap& results) {
                                        if (code == 1)
                                            fail(QStringLiteral("the permission to control the desktop was refused"),
                                                 Failure::Refused);
                                        else if (code != 0)
                                            fail(QStringLiteral("the desktop portal could not start the session"));
                                        else if (!(results.value(QStringLiteral("devices")).toUInt() & Keyboard))
                                            fail(QStringLiteral("the keyboard was not among the devices allowed"),
                                                 Failure::Refused);
                                        else {
                                            remember(results);
                                            state_ = State::Granted;
                                            emit granted();
                                        }
                                    });
                        });
            });
}

void RemoteDesktopPortal::request(const QString& method, QList<QVariant> arguments, QVariantMap options, Then then)
{
    // The answer comes as a signal on a path the caller can predict; listen
    // there before asking, or a quick answer is missed.
    const QString handleToken = token();
    QString sender = bus_.baseService().mid(1);
    sender.replace(u'.', u'_');
    pendingPath_ = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, handleToken);
    pendingThen_ = std::move(then);
    bus_.connect(Service, pendingPath_, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"),
                 this, SLOT(onResponse(QDBusMessage)));
    options.insert(QStringLiteral("handle_token"), handleToken);
    arguments << options;
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, method);
    call.setArguments(arguments);
    auto* reply = new QDBusPendingCallWatcher(bus_.asyncCall(call, 10000), this);
    connect(reply, &QDBusPendingCallWatcher::finished, this, [this, predicted = pendingPath_](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        QDBusPendingReply<QDBusObjectPath> handle = *call;
        if (handle.isError()) {
            fail(handle.error());
        } else if (pendingPath_ == predicted && handle.value().path() != predicted) {
            // An older portal picks its own path; the answer comes there.
            pendingPath_ = handle.value().path();
            bus_.connect(Service, pendingPath_, QStringLiteral("org.freedesktop.portal.Request"),
                         QStringLiteral("Response"), this, SLOT(onResponse(QDBusMessage)));
        }
    });
}

void RemoteDesktopPortal::onResponse(const QDBusMessage& message)
{
    if (message.path() != pendingPath_ || !pendingThen_ || message.arguments().size() < 2)
        return;
    bus_.disconnect(Service, pendingPath_, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"),
                    this, SLOT(onResponse(QDBusMessage)));
    pendingPath_.clear();
    const uint code = message.arguments().at(0).toUInt();
    const QVariantMap results = qdbus_cast<QVariantMap>(message.arguments().at(1));
    Then then = std::move(pendingThen_);
    pendingThen_ = nullptr;
    then(code, results);
}

void RemoteDesktopPortal::onSessionClosed()
{
    fail(QStringLiteral("the desktop ended the remote-desktop session"));
}

void RemoteDesktopPortal::onPortalGone()
{
    fail(QStringLiteral("the desktop portal went away"));
}

bool RemoteDesktopPortal::notifyKeysym(quint32 keysym, bool pressed)
{
    if (state_ != State::Granted)
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("NotifyKeyboardKeysym"));
    call << QVariant::fromValue(QDBusObjectPath(session_)) << QVariantMap() << static_cast<int>(keysym)
         << static_cast<uint>(pressed ? 1 : 0);
    // The portal handles each call on a thread of its own and may pass two
    // that arrive together on to the desktop in either order: a release
    // before its press leaves the key held. So an event goes only once the
    // one before has been answered; a refusal among them ends the session.
    for (QDBusPendingCall& sent : inFlight_) {
        sent.waitForFinished();
        if (sent.isError())
            fail(sent.error());
    }
    inFlight_.clear();
    if (state_ != State::Granted)
        return false;
    inFlight_.push_back(bus_.asyncCall(call, 2000));
    return true;
}

bool RemoteDesktopPortal::flush(QString* error)
{
    std::vector<QDBusPendingCall> calls;
    calls.swap(inFlight_);
    for (QDBusPendingCall& call : calls) {
        call.waitForFinished();
        if (call.isError()) {
            const Described described = describe(call.error());
            if (error)
                *error = described.why;
            fail(described.why, described.failure);
            return false;
        }
    }
    if (state_ != State::Granted) {
        if (error)
            *error = QStringLiteral("the desktop portal's session is over");
        return false;
    }
    return true;
}

} // namespace kelvo
