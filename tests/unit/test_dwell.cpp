// The dwell engine: what each key sends, the latches and their tint, the
// beep, and what may happen during the tick's event passes.
#include "button/ZorvicClick.h"
#include "keyboard/Main.h"
#include "keyboard/frmKelvo.h"
#include "platform/fake/FakeKeySender.h"
#include "platform/fake/FakePointerProbe.h"
#include "platform/fake/FakeTone.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace kelvo;

namespace {

class Dwell : public testing::Test {
protected:
    Dwell() { BeepOn = true; }

    // The pointer moves over the key and the dwell timer ticks once.
    void rest(int index)
    {
        moveOver(index);
        form.timerType_Timer();
    }
    void moveOver(int index)
    {
        qint16 button = 0, shift = 0;
        float x = 3, y = 3;
        emit form.cmdButton[index]->MouseMove(button, shift, x, y);
    }
    void clear()
    {
        sender.clear();
        tone.clear();
    }

    FakeKeySender sender;
    FakeTone tone;
    frmKelvo form{sender, tone};
};

struct Row {
    int index;
    const char* sent;
    bool wait;
};

// Every key with nothing latched: the string, the wait flag, and a beep at
// 4000 - 30 x the key's index for all but the arrows.
const Row Table[] = {
    {0, "a", true}, {7, "h", true}, {25, "z", true}, {26, " ", true}, {27, "{DEL}", true},
    {28, "{ENTER}", true}, {29, "+", true}, {30, "^", true}, {31, "%", true}, {32, ".", true},
    {33, "\"", true}, {34, "/", true}, {35, "@", true}, {36, ":", true}, {37, ",", true},
    {38, "&", true}, {39, "*", true}, {40, "=", true}, {41, "{+}", true}, {42, "-", true},
    {43, "7", true}, {44, "8", true}, {45, "9", true}, {46, "4", true}, {47, "5", true},
    {48, "6", true}, {49, "1", true}, {50, "2", true}, {51, "3", true}, {52, "0", true},
    {53, ".", true}, {54, "{UP}", false}, {55, "{RIGHT}", false}, {56, "{LEFT}", false},
    {57, "{DOWN}", false}, {58, "+{TAB}", true}, {59, "{TAB}", true},
    {60, "{BACKSPACE}", true}, {61, "{ESC}", true},
};

} // namespace

TEST_F(Dwell, EveryKeySendsItsStringAndBeepsItsPitchExceptTheArrows)
{
    for (int letter = 0; letter < 26; ++letter) {
        clear();
        rest(letter);
        ASSERT_EQ(sender.keyStrings(), QStringList{QString(QChar('a' + letter))});
    }
    for (const Row& row : Table) {
        SCOPED_TRACE(row.index);
        form.ShiftLatched = form.CtrlLatched = form.AltLatched = false;
        clear();
        rest(row.index);
        ASSERT_EQ(sender.calls().size(), 1u);
        EXPECT_EQ(sender.calls()[0].keys, QString::fromUtf8(row.sent));
        EXPECT_EQ(sender.calls()[0].wait, row.wait);
        const bool arrow = row.index >= 54 && row.index <= 57;
        const std::vector<FakeTone::Beep> beep{{4000 - 30 * row.index, 5}};
        EXPECT_EQ(tone.beeps(), arrow ? std::vector<FakeTone::Beep>() : beep);
    }
}

TEST_F(Dwell, LatchesPrefixEveryKeyInOrderAndTintTheirKeys)
{
    rest(29);
    EXPECT_TRUE(form.ShiftLatched);
    EXPECT_TRUE(form.cmdButton[29]->Tint());
    clear();
    rest(0);
    rest(0);
    EXPECT_EQ(sender.keyStrings(), (QStringList{"+a", "+a"})) << "a latch is no one-shot";

    rest(30);
    rest(31);
    clear();
    rest(27);
    rest(54);
    EXPECT_EQ(sender.keyStrings(), (QStringList{"+^%{DEL}", "+^%{UP}"}));
    EXPECT_TRUE(form.cmdButton[30]->Tint() && form.cmdButton[31]->Tint());

    // The prefix is built before the toggle: releasing Shift sends "+" "+".
    clear();
    rest(29);
    EXPECT_EQ(sender.keyStrings(), QStringList{"+^%+"});
    EXPECT_FALSE(form.ShiftLatched);
    EXPECT_FALSE(form.cmdButton[29]->Tint());
    rest(30);
    clear();
    rest(58);
    EXPECT_EQ(sender.keyStrings(), QStringList{"%+{TAB}"});
    // Every modifier key's own string is refused by the sender, yet the
    // latch toggled and the beep came.
    EXPECT_EQ(tone.beeps().size(), 1u);
    EXPECT_FALSE(form.CtrlLatched);
    EXPECT_TRUE(form.AltLatched);
    EXPECT_FALSE(form.cmdButton[30]->Tint());
}

TEST_F(Dwell, RestingOnShiftTogglesEveryTick)
{
    moveOver(29);
    form.timerType_Timer();
    form.timerType_Timer();
    EXPECT_FALSE(form.ShiftLatched);
    EXPECT_FALSE(form.cmdButton[29]->Tint());
    EXPECT_EQ(tone.beeps().size(), 2u);
}

TEST_F(Dwell, TimerStartsOnMoveKeepsItsPeriodAndStopsOnLeave)
{
    EXPECT_FALSE(form.timerType.isActive());
    EXPECT_EQ(form.timerType.interval(), 200);
    EXPECT_EQ(form.timerType.timerType(), Qt::PreciseTimer);
    moveOver(3);
    ASSERT_TRUE(form.timerType.isActive());
    const int id = form.timerType.timerId();
    moveOver(4);
    EXPECT_EQ(form.timerType.timerId(), id) << "a further move must not restart the period";
    EXPECT_EQ(form.CurrentKey, 4);
    emit form.cmdButton[9]->MouseOut();
    EXPECT_FALSE(form.timerType.isActive());
}

TEST_F(Dwell, LeavingAKeyNoticedAfterLandingOnTheNextOneKeepsTheNextOnesDwell)
{
    FakePointerProbe pointer;
    ZorvicClick::usePointerProbe(&pointer);
    form.show();
    const QPoint onK = form.cmdButton[10]->geometry().center();
    moveOver(7);
    moveOver(10);
    pointer.placeOver(form.winId(), form.mapToGlobal(onK));
    emit form.cmdButton[7]->MouseOut();
    EXPECT_TRUE(form.timerType.isActive()) << "the pointer rests on K, which must still be typed";
    // Leaving the key the pointer last moved over stops it, as does leaving
    // another one once the pointer is on no key.
    emit form.cmdButton[10]->MouseOut();
    EXPECT_FALSE(form.timerType.isActive());
    moveOver(10);
    pointer.moveAway();
    emit form.cmdButton[7]->MouseOut();
    EXPECT_FALSE(form.timerType.isActive());
    ZorvicClick::usePointerProbe(nullptr);
}

TEST_F(Dwell, AWindowPutOverTheKeyThatTheDesktopReportsOnlyWhenAskedStopsTheTyping)
{
    FakePointerProbe pointer;
    ZorvicClick::usePointerProbe(&pointer);
    form.show();
    const QPoint onH = form.mapToGlobal(form.cmdButton[7]->geometry().center());
    pointer.placeOver(form.winId(), onH);
    rest(7);
    // The desktop that answers without being asked again is left alone.
    EXPECT_EQ(sender.keyStrings(), QStringList{"h"});
    // One that is asked finds the pointer still there, and it types; then
    // a window over it, which it reports once asked: nothing more is typed.
    pointer.whenLookingAgain = [] {};
    form.timerType_Timer();
    EXPECT_EQ(sender.keyStrings(), (QStringList{"h", "h"}));
    pointer.whenLookingAgain = [&] { pointer.placeOver(form.winId() + 1, onH); };
    form.timerType_Timer();
    EXPECT_EQ(sender.keyStrings(), (QStringList{"h", "h"}));
    EXPECT_EQ(tone.beeps().size(), 2u);
    ZorvicClick::usePointerProbe(nullptr);
}

TEST_F(Dwell, EventPassesMayMoveToAnotherKeyOrLeave)
{
    // A move over key 10 waiting in the queue runs during the tick's first
    // pass: the tick types the key it started on and beeps the new pitch.
    moveOver(7);
    QMetaObject::invokeMethod(&form, [this] { moveOver(10); }, Qt::QueuedConnection);
    form.timerType_Timer();
    EXPECT_EQ(sender.keyStrings(), QStringList{"h"});
    EXPECT_EQ(tone.beeps(), (std::vector<FakeTone::Beep>{{4000 - 30 * 10, 5}}));
    EXPECT_EQ(form.CurrentKey, 10);

    // A leave notice delivered while the key is being typed stops the timer;
    // the tick still finishes.
    clear();
    sender.onSend = [this](const QString&) {
        QMetaObject::invokeMethod(form.cmdButton[10], [this] { emit form.cmdButton[10]->MouseOut(); },
                                  Qt::QueuedConnection);
    };
    form.timerType_Timer();
    EXPECT_EQ(sender.keyStrings(), QStringList{"k"});
    EXPECT_EQ(tone.beeps().size(), 1u);
    EXPECT_FALSE(form.timerType.isActive());
}

TEST_F(Dwell, BeepSwitchAndFailedKeystrokes)
{
    BeepOn = false;
    rest(0);
    rest(27);
    EXPECT_EQ(sender.keyStrings().size(), 2);
    EXPECT_TRUE(tone.beeps().empty());

    // A keystroke that could not be typed is not confirmed with a beep,
    // unless the key is one whose failures are ignored.
    BeepOn = true;
    sender.failure = QStringLiteral("display gone");
    rest(0);
    rest(60);
    EXPECT_TRUE(tone.beeps().empty());
    rest(28);
    EXPECT_EQ(tone.beeps(), (std::vector<FakeTone::Beep>{{4000 - 30 * 28, 5}}));
}

TEST_F(Dwell, WindowSitsInTheWorkAreaCornerShapedToItsControls)
{
    form.Form_Load();
    EXPECT_TRUE(BeepOn);
    const QRect area = TaskbarWorkArea();
    EXPECT_EQ(form.geometry().bottomRight(), area.bottomRight());
    EXPECT_EQ(form.size(), QSize(264, 298));
    EXPECT_DOUBLE_EQ(form.windowOpacity(), 230 / 255.0);
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    // The green background between the keys is cut away; the keys are not.
    const QRegion shape = form.mask();
    EXPECT_FALSE(shape.contains(QPoint(5, 5)));
    EXPECT_TRUE(shape.contains(form.cmdButton[7]->geometry().center()));
    EXPECT_TRUE(shape.contains(form.cmdExit->geometry().center()));
    // The shape follows the keys': a key tinted black is see-through.
    ZorvicClick* h = form.cmdButton[7];
    h->setTintColor(0);
    h->setTint(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form.mask().contains(h->geometry().center()); }, 2000));
    h->setTint(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.mask().contains(h->geometry().center()); }, 2000));
    // Keys 54 and 57 share a row of pixels; the later one lies on top.
    ASSERT_TRUE(form.cmdButton[54]->geometry().intersects(form.cmdButton[57]->geometry()));
    EXPECT_GT(form.children().indexOf(form.cmdButton[57]), form.children().indexOf(form.cmdButton[54]));
}

TEST_F(Dwell, MinimisingWithoutANotificationAreaLeavesTheWindowToTheWindowManager)
{
    // The offscreen desktop has no notification area.
    form.Form_Load();
    form.show();
    form.cmdMinimize_Click();
    EXPECT_TRUE(form.IsMinimized());
    EXPECT_TRUE(form.isVisible()) << "hidden with no tray icon to bring it back";
    form.cmdMinimize_Click();
    EXPECT_TRUE(form.isVisible());
    form.tray_LeftButtonUp();
    EXPECT_FALSE(form.IsMinimized());
}
