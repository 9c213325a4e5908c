#include "platform/wayland/KwinLayouts.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>

namespace kelvo {

namespace {

// A key goes out at once; a KWin too busy to answer gets this long.
constexpr int AnswerTimeoutMs = 250;

} // namespace

std::optional<unsigned> kwinLayoutInUse()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return std::nullopt;
    const QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.keyboard"), QStringLiteral("/Layouts"), QStringLiteral("org.kde.KeyboardLayouts"),
        QStringLiteral("getLayout"));
    const QDBusReply<uint> reply = bus.call(ask, QDBus::Block, AnswerTimeoutMs);
    if (!reply.isValid())
        return std::nullopt;
    return reply.value();
}

} // namespace kelvo
