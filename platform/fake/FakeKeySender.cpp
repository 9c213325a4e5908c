#include "platform/fake/FakeKeySender.h"

#include <QStringList>

namespace kelvo {

SendResult FakeKeySender::send(const QString& keys, bool wait)
{
    if (onSend)
        onSend(keys);
    calls_.push_back(Call{keys, wait, false, {}});
    const SendResult result = KeySender::send(keys, wait);
    calls_.back().sent = result.sent;
    return result;
}

SendResult FakeKeySender::sendActions(const std::vector<KeyAction>& actions, bool)
{
    calls_.back().actions = actions;
    return failure.isEmpty() ? SendResult::success() : SendResult::failure(failure);
}

QStringList FakeKeySender::keyStrings() const
{
    QStringList out;
    for (const Call& call : calls_)
        out << call.keys;
    return out;
}

} // namespace kelvo
