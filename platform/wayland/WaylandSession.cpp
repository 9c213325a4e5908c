#include "platform/wayland/WaylandSession.h"

#include "platform/wayland/WaylandKeySender.h"

#include <QtGlobal>

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace kelvo {

namespace {

// The buffer integration asked for when the user asks for none: no plugin
// has this name, so Qt's plugin draws into shared memory alone.
constexpr const char* NoBufferIntegration = "none";

WaylandKeySender* watched = nullptr;
QtMessageHandler previousHandler = nullptr;
bool buffersLeftOut = false;

void onQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    // The compositor's sockets close one after another as it dies: a
    // moment's grace for ours when Qt speaks of its connection.
    const int grace = message.contains(QLatin1String("Wayland")) ? 20 : 0;
    if (watched && watched->compositorGone(grace)) {
        std::fprintf(stderr, "%s: %s; ending\n", program_invocation_short_name, qPrintable(watched->lostMessage()));
        std::fflush(stderr);
        _exit(1);
    }
    if (buffersLeftOut && qstrcmp(context.category, "qt.qpa.wayland") == 0
        && (message.startsWith(QLatin1String("Failed to load client buffer integration"))
            || message.startsWith(QLatin1String("Available client buffer integrations"))))
        return;
    // Without a tray host, Qt's tray icon falls back to its X11 way and
    // complains that this platform has no X11 signal for it.
    if (message.contains(QLatin1String("systemTrayWindowChanged")))
        return;
    if (previousHandler)
        previousHandler(type, context, message);
}

} // namespace

void prepareQtForWayland()
{
    qputenv("QT_QPA_PLATFORM", "wayland");
    qputenv("QT_WAYLAND_USE_BYPASSWINDOWMANAGERHINT", "1");
    if (qEnvironmentVariableIsEmpty("QT_WAYLAND_CLIENT_BUFFER_INTEGRATION")) {
        qputenv("QT_WAYLAND_CLIENT_BUFFER_INTEGRATION", NoBufferIntegration);
        buffersLeftOut = true;
    }
}

void watchCompositor(WaylandKeySender* sender)
{
    if (!watched) {
        watched = sender;
        previousHandler = qInstallMessageHandler(onQtMessage);
    }
}

void unwatchCompositor(WaylandKeySender* sender)
{
    if (watched == sender) {
        qInstallMessageHandler(previousHandler);
        watched = nullptr;
    }
}

} // namespace kelvo
