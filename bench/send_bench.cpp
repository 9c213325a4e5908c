// Cost of one send with wait of a single key, measured against the focused
// window: prints the median and the 99th percentile over N keys.

#include "platform/Platform.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace kelvo;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(10, atoi(argv[1])) : 1000;
    SenderOpening opening = openKeySender();
    if (!opening.sender) {
        std::fprintf(stderr, "bench_send: %s\n", qPrintable(opening.error));
        return 2;
    }
    KeySender& sender = *opening.sender;
    sender.send(QStringLiteral("a"), true); // the keymap is read once, not timed

    const QString keys[] = {QStringLiteral("a"), QStringLiteral("Z"), QStringLiteral("@"), QStringLiteral("{TAB}")};
    std::vector<double> micros;
    micros.reserve(count);
    for (int i = 0; i < count; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const SendResult result = sender.send(keys[i % 4], true);
        const auto end = std::chrono::steady_clock::now();
        if (!result) {
            std::fprintf(stderr, "bench_send: %s\n", qPrintable(result.error));
            return 1;
        }
        micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    std::sort(micros.begin(), micros.end());
    const double median = micros[micros.size() / 2];
    const double p99 = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
    std::printf("send with wait, one key (a, Z, @, {TAB} in turn), %d keys: median %.0f us, p99 %.0f us (target: median under 1000 us)\n",
                count, median, p99);
    return 0;
}
