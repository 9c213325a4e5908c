#include "platform/freedesktop/FreedesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QEventLoop>
#include <QTimer>

namespace kelvo {

namespace {

const QString ServiceName = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");
// Long enough to read two sentences and an address.
constexpr int ShownMs = 15000;
// A service that has not answered by then is taken to be absent (one that
// is being started by the bus answers well within it).
constexpr int AnswerMs = 3000;
constexpr uchar NormalUrgency = 1;

} // namespace

FreedesktopNotifier::FreedesktopNotifier(QDBusConnection bus, QString appId)
    : bus_(std::move(bus)), appId_(std::move(appId))
{
}

FreedesktopNotifier::~FreedesktopNotifier() = default;

void FreedesktopNotifier::show(const Notice& notice)
{
    switch (service_) {
    case Service::Absent:
        return;
    case Service::Known:
        notify(notice);
        return;
    case Service::Unknown:
        askCapabilities();
        [[fallthrough]];
    case Service::Asking:
        waiting_.push_back(notice);
        return;
    }
}

void FreedesktopNotifier::askCapabilities()
{
    if (!bus_.isConnected()) {
        service_ = Service::Absent;
        return;
    }
    service_ = Service::Asking;
    const QDBusMessage call = QDBusMessage::createMethodCall(ServiceName, Path, Interface, QStringLiteral("GetCapabilities"));
    auto* reply = new QDBusPendingCallWatcher(bus_.asyncCall(call, AnswerMs), &context_);
    QObject::connect(reply, &QDBusPendingCallWatcher::finished, &context_, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        const QDBusPendingReply<QStringList> capabilities = *call;
        std::vector<Notice> waiting;
        waiting.swap(waiting_);
        if (capabilities.isError()) {
            service_ = Service::Absent;
        } else {
            service_ = Service::Known;
            markup_ = capabilities.value().contains(QStringLiteral("body-markup"));
            hyperlinks_ = markup_ && capabilities.value().contains(QStringLiteral("body-hyperlinks"));
            for (const Notice& notice : waiting)
                notify(notice);
        }
        finished();
    });
}

QString FreedesktopNotifier::body(const Notice& notice) const
{
    if (!markup_)
        return notice.text();
    // Read as markup, a path or message holding "<" or "&" would be cut
    // short or lost.
    const QString page = notice.page.toHtmlEscaped();
    return QStringLiteral("%1\n%2 %3")
        .arg(notice.body.toHtmlEscaped(), notice.seeAlso().toHtmlEscaped(),
             hyperlinks_ ? QStringLiteral("<a href=\"%1\">%1</a>").arg(page) : page);
}

void FreedesktopNotifier::notify(const Notice& notice)
{
    QDBusMessage call = QDBusMessage::createMethodCall(ServiceName, Path, Interface, QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("urgency"), QVariant::fromValue(NormalUrgency)},
                            {QStringLiteral("desktop-entry"), appId_}};
    call << QStringLiteral("Kelvo") << 0u << appId_ << notice.summary << body(notice) << QStringList() << hints
         << ShownMs;
    ++inFlight_;
    auto* reply = new QDBusPendingCallWatcher(bus_.asyncCall(call, AnswerMs), &context_);
    QObject::connect(reply, &QDBusPendingCallWatcher::finished, &context_, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        --inFlight_;
        finished();
    });
}

void FreedesktopNotifier::finished()
{
    if (settling_ && !busy())
        settling_->quit();
}

void FreedesktopNotifier::settle(int ms)
{
    if (!busy())
        return;
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    settling_ = &loop;
    loop.exec();
    settling_ = nullptr;
}

} // namespace kelvo
