#pragma once
// What every key sender shares around the keys it presses: the trace line
// that KELVO_TRACE=1 asks for, how a key is named in messages, and keeping
// the signals that end the process waiting while keys are held.
//
// A trace line is the key string in canonical form and the key events
// pressed for it,
//   kelvo: sent "+a" = +50:Shift_L +38:a -38:a -50:Shift_L
// (+ press, - release, keycode:its first symbol), and "(failed: why)" after
// the events when the send stopped part way.

#include "platform/KeySender.h"
#include "platform/KeyString.h"

#include <QString>

#include <csignal>
#include <string>
#include <vector>

namespace kelvo {

class SendTrace {
public:
    // Records nothing unless `on`.
    explicit SendTrace(bool on) : on_(on) {}

    bool on() const { return on_; }
    // Starts the events of a new send.
    void clear() { events_.clear(); }
    // One key event: sign '+' for a press, '-' for a release; `name` is the
    // key's symbol for people (null: "NoSymbol").
    void note(char sign, unsigned code, const char* name);
    // Writes the line for `actions` with the events noted since clear(),
    // when tracing and anything was pressed; `failure` is empty when sent.
    void write(const std::vector<KeyAction>& actions, const QString& failure) const;

    // Runs `type` (which presses the keys of `actions`, noting them) with
    // the ending signals held (SignalBlock), over the trace line too, so a
    // send that ends the process is still written; returns what it returns.
    template <typename Type>
    SendResult around(const std::vector<KeyAction>& actions, Type&& type);

private:
    bool on_;
    std::string events_;
};

// How a key is named in messages: "{F13}", "U+00E9".
QString keyDescription(const KeyAction& action);

// Keeps SIGINT, SIGTERM, SIGHUP and SIGQUIT pending while it lives, so a
// signal that ends the process cannot leave a modifier down.
class SignalBlock {
public:
    SignalBlock();
    ~SignalBlock();
    SignalBlock(const SignalBlock&) = delete;
    SignalBlock& operator=(const SignalBlock&) = delete;

    // True when one of the held signals is waiting: the send should stop.
    static bool stopRequested();

private:
    sigset_t old_;
};

template <typename Type>
SendResult SendTrace::around(const std::vector<KeyAction>& actions, Type&& type)
{
    SignalBlock signalsHeld;
    clear();
    SendResult result = type();
    write(actions, result.sent ? QString() : result.error);
    return result;
}

} // namespace kelvo
