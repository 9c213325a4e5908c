#include "platform/KeySender.h"

namespace kelvo {

SendResult KeySender::send(const QString& keys, bool wait)
{
    const ParsedKeys parsed = parseKeyString(keys);
    if (!parsed.ok())
        return SendResult::failure(parsed.error->refusal(keys));
    if (parsed.actions.empty())
        return SendResult::success();
    return sendActions(parsed.actions, wait);
}

bool keystrokeTraceOn()
{
    return qEnvironmentVariable("KELVO_TRACE") == QLatin1String("1");
}

} // namespace kelvo
