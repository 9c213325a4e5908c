// The yardstick for the keyboard's start-up time and memory: the least a Qt 6
// Widgets program does to put one window of the keyboard's size on screen.
//   bench_bare_window [--text]
// --text puts a line of text in it, so the font set-up every program that
// draws text pays (fontconfig reading its configuration) is counted as well.

#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.resize(264, 298);
    if (QApplication::arguments().contains(QStringLiteral("--text")))
        new QLabel(QStringLiteral("Kelvo"), &window);
    window.show();
    return app.exec();
}
