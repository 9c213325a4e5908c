// kelvo: the on-screen keyboard worked by resting the pointer on its keys.

#include "button/ZorvicClick.h"
#include "keyboard/frmKelvo.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

int main(int argc, char** argv)
{
    using namespace kelvo;

    // Without a session bus the D-Bus library would start one itself
    // (dbus-launch --autolaunch): a daemon that outlives us and writes its
    // address under ~/.dbus. A keyboard should not start daemons behind the
    // user's back; "disabled:" is an address no bus library connects to, and
    // a desktop that offers a bus says where it is.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");

    prepareSession(SessionUse::Keyboard);
    // Without a display there is nothing to show and nowhere to type; say
    // so before the toolkit gives up less politely.
    SenderOpening opening = openKeySender();
    std::unique_ptr<PointerProbe> probe;
    if (opening.problem != SenderProblem::NoDisplay && !(probe = openPointerProbe()))
        opening = {nullptr, SenderProblem::NoDisplay, QStringLiteral("cannot open the display to follow the pointer")};
    if (opening.problem == SenderProblem::NoDisplay) {
        std::fprintf(stderr, "kelvo: %s\n", qPrintable(opening.error));
        // The desktop's notice service may be there all the same.
        QCoreApplication core(argc, argv);
        showTroubleNotices();
        noticeCannotType(opening.problem, opening.error);
        return 2;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kelvo"));
    // The keyboard may be hidden in the tray while a dialog closes.
    QApplication::setQuitOnLastWindowClosed(false);

    if (!opening.sender) {
        std::fprintf(stderr, "kelvo: %s\n", qPrintable(opening.error));
        showTroubleNotices();
        noticeCannotType(opening.problem, opening.error);
        QMessageBox::critical(nullptr, QStringLiteral("Kelvo"),
                              QStringLiteral("Kelvo cannot send keystrokes on this desktop:\n%1")
                                  .arg(opening.error));
        return 2;
    }
    std::unique_ptr<Tone> tone = openTone();
    std::unique_ptr<WindowRole> role = openWindowRole();
    useWindowRole(role.get());
    ZorvicClick::usePointerProbe(probe.get());
    // SIGTERM, Ctrl+C and the like end the program through the event loop,
    // so the tray icon is taken away and the keyboard mapping put back.
    quitOnEndRequests(app);

    // The window's layout is built in; a fault in it is a fault of this
    // build, found by whoever edited it.
    std::unique_ptr<frmKelvo> form;
    try {
        form = std::make_unique<frmKelvo>(*opening.sender, *tone);
    } catch (const LayoutError& error) {
        std::fprintf(stderr, "kelvo: the keyboard's layout is wrong: %s\n", error.what());
        ZorvicClick::usePointerProbe(nullptr);
        useWindowRole(nullptr);
        return 2;
    }
    QObject::connect(form.get(), &frmKelvo::ended, &app, [] { QApplication::exit(0); });
    form->Form_Load();
    form->show();
    showTroubleNotices(&form->tray);
    askToReachEveryProgram(*opening.sender, form->winId());
    const int status = app.exec();
    form->Form_Unload();
    form.reset();
    ZorvicClick::usePointerProbe(nullptr);
    useWindowRole(nullptr);
    return status;
}
