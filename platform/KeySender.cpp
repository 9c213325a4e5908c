#include "platform/KeySender.h"

namespace kelvo {

SendResult KeySender::send(const QString& keys, bool wait)
{
    const ParsedKeys parsed = parseKeyString(keys);
    if (!parsed.ok())
        return SendResult::failure(QStringLiteral("key string \"%1\" refused %2")
                                       .arg(keys, parsed.error->message()));
    if (parsed.actions.empty())
        return SendResult::success();
    return sendActions(parsed.actions, wait);
}

} // namespace kelvo
