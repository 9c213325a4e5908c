// Ending requests on Windows: the console's control events.
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <windows.h>

#include <mutex>

namespace kelvo {

namespace {

BOOL WINAPI quitThroughEventLoop(DWORD)
{
    // Runs on a thread of its own; the process ends once this returns, so it
    // waits here while main() tidies up and returns (which ends this thread).
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    Sleep(10000);
    return TRUE;
}

std::mutex held;

BOOL WINAPI waitUntilReleased(DWORD)
{
    // Once released, the next handler (the system's) ends the process.
    const std::lock_guard wait(held);
    return FALSE;
}

} // namespace

void quitOnEndRequests(QCoreApplication&)
{
    SetConsoleCtrlHandler(quitThroughEventLoop, TRUE);
}

void holdEndRequests()
{
    held.lock();
    SetConsoleCtrlHandler(waitUntilReleased, TRUE);
}

void releaseEndRequests()
{
    held.unlock();
}

} // namespace kelvo
