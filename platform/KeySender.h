#pragma once
// Keystroke injection into the window that has the keyboard focus.

#include "platform/KeyString.h"

#include <QString>

#include <string>

namespace kelvo {

struct SendResult {
    bool sent = false;
    QString error;   // why nothing was sent, when sent is false

    static SendResult success() { return {true, {}}; }
    static SendResult failure(QString why) { return {false, std::move(why)}; }
    explicit operator bool() const { return sent; }
};

class KeySender {
public:
    virtual ~KeySender() = default;

    // Types the key string into the focused window. A malformed string is
    // refused whole and nothing is sent. With wait, returns only once the
    // events are in the focused client's queue as far as the system can tell
    // (X11: the server has processed every one; Windows: the foreground
    // window's thread has answered a message sent after them), not that the
    // client has handled them. No modifier is left held when it returns,
    // whatever happened.
    virtual SendResult send(const QString& keys, bool wait);

protected:
    // Types parsed actions; called only with a well-formed, non-empty list.
    virtual SendResult sendActions(const std::vector<KeyAction>& actions, bool wait) = 0;
};

// True when KELVO_TRACE=1 asks for every keystroke sent to be written to
// standard error. Off unless asked for, since what is typed may be a
// password; nothing else may name a typed key.
bool keystrokeTraceOn();

// A key string as trace lines show it: in double quotes, with quotes,
// backslashes and control characters escaped so that the line stays one line
// and can be read back.
std::string traceQuoted(const QString& keys);

} // namespace kelvo
