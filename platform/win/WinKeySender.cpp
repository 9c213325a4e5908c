#include "platform/win/WinKeySender.h"

#include "platform/win/WinReport.h"

namespace kelvo {

WinKeySender::WinKeySender(bool trace)
    : trace_(trace)
{
}

SendResult WinKeySender::sendActions(const std::vector<KeyAction>& actions, bool wait)
{
    const WinKeyInjector::Result result = injector_.send(actions, wait, trace_);
    const QString error = QString::fromStdString(result.error);
    if (trace_) {
        std::string line = "sent " + traceQuoted(formatKeyActions(actions)) + " =" + injector_.events();
        if (!result.sent)
            line += " (failed: " + result.error + ")";
        reportLine(line);
    }
    return result.sent ? SendResult::success() : SendResult::failure(error);
}

} // namespace kelvo
