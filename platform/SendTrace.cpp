#include "platform/SendTrace.h"

#include <cstdio>

namespace kelvo {

namespace {

constexpr int HeldSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

} // namespace

void SendTrace::note(char sign, unsigned code, const char* name)
{
    if (!on_)
        return;
    events_ += ' ';
    events_ += sign;
    events_ += std::to_string(code);
    events_ += ':';
    events_ += name ? name : "NoSymbol";
}

void SendTrace::write(const std::vector<KeyAction>& actions, const QString& failure) const
{
    if (!on_ || events_.empty())
        return;
    std::string line = "kelvo: sent " + traceQuoted(formatKeyActions(actions)) + " =" + events_;
    if (!failure.isEmpty())
        line += " (failed: " + failure.toStdString() + ")";
    line += '\n';
    // One write per line, so that lines from other threads never interleave with it.
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

QString keyDescription(const KeyAction& action)
{
    if (action.key != NamedKey::None)
        return QStringLiteral("{%1}").arg(namedKeyName(action.key));
    return QStringLiteral("U+%1").arg(static_cast<uint>(action.character), 4, 16, QLatin1Char('0')).toUpper();
}

SignalBlock::SignalBlock()
{
    sigset_t set;
    sigemptyset(&set);
    for (int s : HeldSignals)
        sigaddset(&set, s);
    pthread_sigmask(SIG_BLOCK, &set, &old_);
}

SignalBlock::~SignalBlock()
{
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
}

bool SignalBlock::stopRequested()
{
    sigset_t pending;
    sigpending(&pending);
    for (int s : HeldSignals)
        if (sigismember(&pending, s))
            return true;
    return false;
}

} // namespace kelvo
