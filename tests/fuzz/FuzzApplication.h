#pragma once
// The offscreen application that fuzz targets with widgets need, made at the
// first input and kept for the rest of the run.

#include <QApplication>

inline void fuzzApplication()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    Q_UNUSED(app);
}
