#include "platform/KeySender.h"

#include <cstdio>

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

std::string traceQuoted(const QString& text)
{
    std::string out = "\"";
    for (const char c : text.toStdString()) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + '"';
}

bool keystrokeTraceOn()
{
    return qEnvironmentVariable("KELVO_TRACE") == QLatin1String("1");
}

} // namespace kelvo
