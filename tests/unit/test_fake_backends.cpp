#include "platform/fake/FakeKeySender.h"
#include "platform/fake/FakeTone.h"

#include <gtest/gtest.h>

using namespace kelvo;

TEST(FakeKeySender, RecordsEveryCallAndRefusesMalformedStringsLikeTheRealOne)
{
    FakeKeySender sender;
    EXPECT_TRUE(sender.send(QStringLiteral("+a"), true));
    EXPECT_FALSE(sender.send(QStringLiteral("{NOPE}"), false));
    EXPECT_TRUE(sender.send(QString(), true));

    ASSERT_EQ(sender.calls().size(), 3u);
    EXPECT_EQ(sender.keyStrings(), (QStringList{"+a", "{NOPE}", ""}));
    const auto& first = sender.calls()[0];
    EXPECT_TRUE(first.sent);
    EXPECT_TRUE(first.wait);
    ASSERT_EQ(first.actions.size(), 1u);
    EXPECT_EQ(first.actions[0], (KeyAction{U'a', NamedKey::None, ModShift}));
    EXPECT_FALSE(sender.calls()[1].sent);
    EXPECT_TRUE(sender.calls()[1].actions.empty());
    EXPECT_TRUE(sender.calls()[2].sent);
}

TEST(FakeTone, RecordsBeepsInOrder)
{
    FakeTone tone;
    tone.beep(4000, 5);
    tone.beep(2170, 50);
    EXPECT_EQ(tone.beeps(), (std::vector<FakeTone::Beep>{{4000, 5}, {2170, 50}}));
}
