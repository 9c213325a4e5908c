#pragma once
// A key sender that types nothing and records what it was asked to send.

#include "platform/KeySender.h"

#include <QStringList>

#include <functional>
#include <vector>

namespace kelvo {

class FakeKeySender : public KeySender {
public:
    struct Call {
        QString keys;                     // the key string as given
        bool wait = false;
        bool sent = false;                // false when the string was refused
        std::vector<KeyAction> actions;   // what would have been typed
    };

    SendResult send(const QString& keys, bool wait) override;

    // Every call in order, refused ones included.
    const std::vector<Call>& calls() const { return calls_; }
    // The key strings of the calls, in order.
    QStringList keyStrings() const;
    void clear() { calls_.clear(); }

    // Called at the start of every send, before anything is recorded; lets a
    // test act while the sender "types" (for instance deliver an event).
    std::function<void(const QString& keys)> onSend;

    // When not empty, every well-formed string fails with this error, as a
    // display that went away would make it.
    QString failure;

protected:
    SendResult sendActions(const std::vector<KeyAction>& actions, bool wait) override;

private:
    std::vector<Call> calls_;
};

} // namespace kelvo
