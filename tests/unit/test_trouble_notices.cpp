// The notices of troubles, with the recording notifier: what each says, the
// step it gives for each cause, the guide's page it names, and when none is
// shown.

#include "platform/TroubleNotices.h"
#include "platform/fake/FakeNotifier.h"

#include <gtest/gtest.h>

#include <functional>

using namespace kelvo;

namespace {

using NoWay = TroubleNotices::NoWay;
using OnlyX11 = TroubleNotices::OnlyX11;

const QString Guide = QStringLiteral("file:///usr/share/doc/kelvo/html/");

std::string str(const QString& text)
{
    return text.toStdString();
}

} // namespace

TEST(TroubleNotices, EachSaysWhatIsWrongThenTheStepThenTheGuidePage)
{
    FakeNotifier notifier;
    TroubleNotices notices(false, Guide, false);
    notices.useNotifier(&notifier);
    notices.cannotType(NoWay::NoXTest, QStringLiteral("display \":1\" has no XTest extension: keystrokes cannot be sent"));
    notices.x11ProgramsOnly(OnlyX11::NotAllowed, QStringLiteral("the permission to control the desktop was refused"));
    notices.notRemembered(QStringLiteral("no file can be made in /s/kelvo (Not a directory)"), QStringLiteral("/s/kelvo"));

    ASSERT_EQ(notifier.shown().size(), 3u);
    const Notice& cannot = notifier.shown()[0];
    EXPECT_EQ(str(cannot.summary), "Kelvo cannot type on this desktop");
    EXPECT_EQ(str(cannot.body), "Display \":1\" has no XTest extension: keystrokes cannot be sent.\n"
                                "Start the X server with its XTest and XKB extensions, as X servers do unless told "
                                "otherwise.");
    EXPECT_EQ(str(cannot.page), "file:///usr/share/doc/kelvo/html/troubleshooting.html#cannot-type");
    EXPECT_EQ(str(cannot.text()), str(cannot.body + QStringLiteral("\nSee \u201cTroubleshooting\u201d in Kelvo's user "
                                                                   "guide: ") + cannot.page));

    const Notice& x11 = notifier.shown()[1];
    EXPECT_EQ(str(x11.summary), "Kelvo types into X11 programs only");
    EXPECT_EQ(str(x11.body), "The permission to control the desktop was refused.\nTo type into every program, quit "
                             "Kelvo, start it again and allow it when the desktop asks.");
    EXPECT_EQ(str(x11.page), "file:///usr/share/doc/kelvo/html/troubleshooting.html#x11-programs-only");

    const Notice& kept = notifier.shown()[2];
    EXPECT_EQ(str(kept.summary), "Kelvo cannot remember the desktop's permission");
    EXPECT_EQ(str(kept.body), "No file can be made in /s/kelvo (Not a directory).\nMake sure you can write to the "
                              "folder /s/kelvo; until then the desktop asks for the permission at every start.");
    EXPECT_EQ(str(kept.page), "file:///usr/share/doc/kelvo/html/troubleshooting.html#permission-not-remembered");
}

TEST(TroubleNotices, TheStepFollowsTheCauseAndOnKdePlasmaIsTheMenuEntry)
{
    const QString kdeStep = QStringLiteral("install Kelvo from its package: KDE Plasma lets a program type only "
                                           "when an installed menu entry names it.");
    struct Case {
        bool kde;
        std::function<void(TroubleNotices&)> tell;
        QString step; // the body's second line
    };
    const Case cases[] = {
        {false, [](TroubleNotices& n) { n.cannotType(NoWay::NoDisplay, QStringLiteral("no display")); },
         QStringLiteral("Start Kelvo from the desktop's menu, or from its list of programs started at login, so "
                        "that it finds the display.")},
        {false, [](TroubleNotices& n) { n.cannotType(NoWay::NoXDisplay, QStringLiteral("lacks")); },
         QStringLiteral("Start Kelvo on one of the desktops the user guide names, or in a session with XWayland.")},
        {true, [](TroubleNotices& n) { n.cannotType(NoWay::NoXDisplay, QStringLiteral("lacks")); },
         QStringLiteral("I") + kdeStep.mid(1)},
        {true, [](TroubleNotices& n) { n.cannotType(NoWay::Other, QStringLiteral("no seat")); },
         QStringLiteral("Start Kelvo on one of the desktops the user guide names.")},
        {false, [](TroubleNotices& n) { n.x11ProgramsOnly(OnlyX11::PortalMissing, QStringLiteral("not running")); },
         QStringLiteral("To type into every program, install this desktop's portal (xdg-desktop-portal and its part "
                        "for GNOME or KDE), then log out and in again.")},
        {true, [](TroubleNotices& n) { n.x11ProgramsOnly(OnlyX11::PortalMissing, QStringLiteral("not running")); },
         QStringLiteral("To type into every program, ") + kdeStep},
        {true, [](TroubleNotices& n) { n.x11ProgramsOnly(OnlyX11::NotAllowed, QStringLiteral("refused")); },
         QStringLiteral("To type into every program, ") + kdeStep},
        {true, [](TroubleNotices& n) { n.x11ProgramsOnly(OnlyX11::QtPlatform, QStringLiteral("QT_QPA_PLATFORM=xcb")); },
         QStringLiteral("To type into every program, start Kelvo without QT_QPA_PLATFORM set.")},
        {false, [](TroubleNotices& n) { n.x11ProgramsOnly(OnlyX11::NoWayland, QStringLiteral("cannot connect")); },
         QStringLiteral("To type into every program, start Kelvo again once the desktop has started.")},
    };
    for (const Case& c : cases) {
        FakeNotifier notifier;
        TroubleNotices notices(false, Guide, c.kde);
        notices.useNotifier(&notifier);
        c.tell(notices);
        ASSERT_EQ(notifier.shown().size(), 1u);
        EXPECT_EQ(str(notifier.shown()[0].body.section(u'\n', 1)), str(c.step)) << "kde " << c.kde;
    }
}

TEST(TroubleNotices, HeldUntilThereIsANotifierAndNoneWhileStandardErrorIsATerminal)
{
    FakeNotifier notifier;
    TroubleNotices notices(false, Guide, false);
    notices.x11ProgramsOnly(OnlyX11::NoWayland, QStringLiteral("first"));
    notices.cannotType(NoWay::NoDisplay, QStringLiteral("second"));
    notices.settle(2000); // nothing to wait for yet
    EXPECT_TRUE(notifier.shown().empty());
    notices.useNotifier(&notifier);
    ASSERT_EQ(notifier.shown().size(), 2u);
    EXPECT_TRUE(notifier.shown()[0].body.startsWith(u"First."));
    EXPECT_TRUE(notifier.shown()[1].body.startsWith(u"Second."));
    notices.settle(2000);
    EXPECT_EQ(notifier.settled(), std::vector<int>{2000});

    FakeNotifier unused;
    TroubleNotices read(true, Guide, false);
    read.x11ProgramsOnly(OnlyX11::NoWayland, QStringLiteral("held?"));
    read.useNotifier(&unused);
    read.cannotType(NoWay::NoDisplay, QStringLiteral("no display"));
    EXPECT_TRUE(unused.shown().empty());
}
