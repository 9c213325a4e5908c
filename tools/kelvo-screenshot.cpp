// kelvo-screenshot FILE.png [X Y WIDTH HEIGHT]: writes the whole screen of
// $DISPLAY, or the rectangle given, to a PNG (or, for FILE.ppm, a PPM that
// tests read without an image library), for the demo and for looking at a
// virtual desktop nobody can see.
// Exit status: 0 written; 2 bad arguments or no reachable display; 1 the
// grab or the write failed.

#include <QGuiApplication>
#include <QImageWriter>
#include <QPixmap>
#include <QScreen>
#include <QTextStream>

#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

namespace {

int fail(int status, const QString& message)
{
    QTextStream(stderr) << "kelvo-screenshot: " << message << "\n";
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    int region[4] = {0, 0, -1, -1};
    bool regionOk = argc == 2 || argc == 6;
    for (int i = 2; regionOk && i < argc; ++i) {
        char* end = nullptr;
        const long value = std::strtol(argv[i], &end, 10);
        regionOk = *argv[i] && !*end && value >= (i < 4 ? -100000 : 1) && value <= 100000;
        region[i - 2] = int(value);
    }
    if (!regionOk || argv[1][0] == '\0') {
        std::fprintf(stderr, "usage: kelvo-screenshot FILE.png|FILE.ppm [X Y WIDTH HEIGHT]\n"
                             "  writes the whole screen of $DISPLAY, or that rectangle of it, to FILE\n");
        return 2;
    }
    // Qt ends the process without a word when it cannot reach the display,
    // so the display is tried first, by the same rules Qt's X11 backend uses.
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display)
        return fail(2, QStringLiteral("DISPLAY is not set; there is no screen to grab"));
    Display* probe = XOpenDisplay(nullptr);
    if (!probe)
        return fail(2, QStringLiteral("cannot open display \"%1\"").arg(QString::fromLocal8Bit(display)));
    XCloseDisplay(probe);

    // The screen of $DISPLAY is wanted even where the environment asks Qt for
    // another platform (the unit tests' offscreen one, say).
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    const QString file = QString::fromLocal8Bit(argv[1]);

    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return fail(2, QStringLiteral("display \"%1\" has no screen").arg(QString::fromLocal8Bit(display)));
    const QPixmap shot = screen->grabWindow(0, region[0], region[1], region[2], region[3]);
    if (shot.isNull())
        return fail(1, QStringLiteral("could not grab the screen of \"%1\"").arg(QString::fromLocal8Bit(display)));

    QImageWriter writer(file, file.endsWith(QLatin1String(".ppm")) ? "ppm" : "png");
    if (!writer.write(shot.toImage()))
        return fail(1, QStringLiteral("cannot write \"%1\": %2").arg(file, writer.errorString()));
    return 0;
}
