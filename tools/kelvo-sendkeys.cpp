// kelvo-sendkeys 'KEYS': types a key string into the focused window through
// the same parser and sender as the keyboard. Exit status: 0 sent; 2 refused
// string, no display or no way to inject; 1 any other failure.

#include "platform/Platform.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

using namespace kelvo;

namespace {

int fail(int status, const QString& message)
{
    QTextStream(stderr) << "kelvo-sendkeys: " << message << "\n";
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    // Held until the sender has let go of every key and put the keyboard
    // mapping back; a pending request to end (SIGINT, SIGTERM) then ends the
    // program.
    holdEndRequests();

    prepareSession();
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    bool wait = true;
    if (!args.isEmpty() && args.first() == QLatin1String("--no-wait")) {
        wait = false;
        args.removeFirst();
    }
    if (args.size() != 1)
        return fail(2, QStringLiteral("usage: kelvo-sendkeys [--no-wait] KEYS"));

    // Refuse a malformed string before touching the display.
    const ParsedKeys parsed = parseKeyString(args.first());
    if (!parsed.ok())
        return fail(2, parsed.error->refusal(args.first()));

    int status = 0;
    {
        SenderOpening opening = openKeySender();
        if (!opening.sender)
            return fail(2, opening.error);
        const SendResult result = opening.sender->send(args.first(), wait);
        if (!result)
            status = fail(1, result.error);
    }
    releaseEndRequests();
    return status;
}
