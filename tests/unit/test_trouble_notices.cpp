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

TEST(TroubleNotices, OnKdePlasmaTheStepIsTheMenuEntryWhereThePortalOrTheWayInFailed)
{
    // Whether the step is KDE's, on KDE Plasma and elsewhere.
    const std::pair<std::function<void(TroubleNotices&)>, bool> cases[] = {
        {[](TroubleNotices& n) { n.cannotType(NoWay::NoXDisplay, QStringLiteral("lacks")); }, true},
        {[](TroubleNotices& n) { n.x11ProgramsOnly(OnlyX11::PortalMissing, QStringLiteral("not running")); }, true},
        {[](TroubleNotices& n) { n.x11ProgramsOnly(OnlyX11::NotAllowed, QStringLiteral("refused")); }, true},
        {[](TroubleNotices& n) { n.x11ProgramsOnly(OnlyX11::QtPlatform, QStringLiteral("QT_QPA_PLATFORM")); }, false},
        {[](TroubleNotices& n) { n.cannotType(NoWay::Other, QStringLiteral("no seat")); }, false},
    };
    for (const auto& [tell, kdeStep] : cases)
        for (const bool kde : {false, true}) {
            FakeNotifier notifier;
            TroubleNotices notices(false, Guide, kde);
            notices.useNotifier(&notifier);
            tell(notices);
            ASSERT_EQ(notifier.shown().size(), 1u);
            const QString step = notifier.shown()[0].body.section(u'\n', 1);
            EXPECT_EQ(step.contains(u"KDE Plasma lets a program type only when an installed menu entry names it"),
                      kde && kdeStep)
                << step.toStdString();
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
