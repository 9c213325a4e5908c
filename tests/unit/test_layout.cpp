// The keyboard window's stored layout: what the window is made of, that it
// saves back to the very same file, and that a wrong file is refused with
// its line and key.
#include "button/ZorvicClick.h"
#include "keyboard/frmKelvo.h"
#include "keyboard/StoredLayout.h"
#include "platform/fake/FakeKeySender.h"
#include "platform/fake/FakeTone.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace kelvo;

namespace {

QByteArray builtInLayout()
{
    QFile file(QString::fromLatin1(KeyboardLayoutPath));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

class Layout : public testing::Test {
protected:
    FakeKeySender sender;
    FakeTone tone;
    frmKelvo form{sender, tone};

    ZorvicClick* key(int index) { return form.cmdButton[size_t(index)]; }
};

// The pixel rectangle of a control given in twips.
QRect twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

} // namespace

TEST_F(Layout, SavingTheLoadedWindowGivesTheStoredFileByteForByte)
{
    const QByteArray stored = builtInLayout();
    ASSERT_FALSE(stored.isEmpty());
    EXPECT_EQ(form.SaveLayout().toStdString(), stored.toStdString());

    // A latched Shift is the one change the window makes to itself.
    key(29)->setTint(true);
    const QByteArray latched = form.SaveLayout();
    EXPECT_NE(latched, stored);
    EXPECT_TRUE(latched.contains("    caption = \"Shift\"\n    tint = True\n"));
}

TEST_F(Layout, LooksAndTheControlsThatDiffer)
{
    // Look 1, a letter: Arial 8.25 pt bold (11 px), white, no pictures.
    ASSERT_TRUE(key(0)->Font());
    EXPECT_EQ(key(0)->Font()->family(), "Arial");
    EXPECT_EQ(key(0)->Font()->pixelSize(), 11);
    EXPECT_TRUE(key(0)->Font()->bold());
    EXPECT_EQ(key(0)->CaptionColor(), 16777215);
    EXPECT_FALSE(key(0)->CustomPic());
    EXPECT_EQ(key(0)->ButtonIconPos(), 4);
    EXPECT_EQ(key(0)->Font(), key(25)->Font()) << "keys of a look share one font object";
    // Looks 2 and 3: Tahoma bold, Arial 12 pt (16 px).
    EXPECT_EQ(key(32)->Font()->family(), "Tahoma");
    EXPECT_EQ(key(53)->Font()->pixelSize(), 16);
    EXPECT_EQ(key(53)->Caption(), ".");

    EXPECT_EQ(key(33)->Caption(), "\"");
    EXPECT_EQ(key(38)->Caption(), "&&");
    EXPECT_EQ(key(38)->accessibleName(), "&");

    // Space, Del, Enter: faces shared between keys, by role.
    EXPECT_TRUE(key(26)->CustomPic());
    EXPECT_EQ(key(28)->PicOver(), key(26)->PicNormal()) << "Enter's Over face is Space's Normal one";
    EXPECT_EQ(key(27)->PicNormal(), key(60)->PicNormal());
    EXPECT_EQ(key(27)->TintColor(), 255);
    EXPECT_EQ(key(27)->TintBright(), 30);
    EXPECT_FALSE(key(27)->Tint());
    EXPECT_EQ(key(28)->CaptionColor(), 0);
    EXPECT_FALSE(key(28)->Font()->bold());

    // The arrows are tinted grey and show only their icons.
    for (int arrow = 54; arrow <= 57; ++arrow) {
        SCOPED_TRACE(arrow);
        EXPECT_TRUE(key(arrow)->Tint());
        EXPECT_EQ(key(arrow)->TintColor(), 14737632);
        EXPECT_EQ(key(arrow)->TintBright(), -30);
        EXPECT_EQ(key(arrow)->Caption(), "");
        ASSERT_TRUE(key(arrow)->ButtonIcon());
        EXPECT_EQ(key(arrow)->ButtonIcon()->kind, Picture::Icon);
        EXPECT_EQ(key(arrow)->ButtonIcon()->image.size(), QSize(40, 40));
    }
    EXPECT_EQ(key(54)->Tag(), "Up");

    // Tab keys: 17 px high, light-grey faces, black tab icons.
    EXPECT_EQ(key(58)->geometry(), twips(1185, 3510, 300, 255));
    EXPECT_EQ(key(58)->Tag(), "TabLeft");
    EXPECT_EQ(key(58)->PicNormal(), key(29)->PicNormal());
    EXPECT_NE(key(58)->ButtonIcon(), key(59)->ButtonIcon());
    EXPECT_EQ(key(59)->Tag(), "TabRight");

    // Backspace: Left's icon at position 0, its default.
    EXPECT_EQ(key(60)->ButtonIcon(), key(56)->ButtonIcon());
    EXPECT_EQ(key(60)->ButtonIconPos(), 0);
    EXPECT_EQ(key(60)->Tag(), "Backspace");
    EXPECT_EQ(key(60)->Caption(), "");

    // The logo: an opaque rectangle of three 45 x 38 pictures.
    ASSERT_TRUE(form.cmdKelvo->PicNormal() && form.cmdKelvo->PicOver() && form.cmdKelvo->PicDown());
    EXPECT_EQ(form.cmdKelvo->PicDown()->image.size(), QSize(45, 38));
    EXPECT_EQ(form.cmdKelvo->geometry(), twips(2865, 3225, 675, 570));
    EXPECT_EQ(form.cmdKelvo->BackColor(), 0);
    EXPECT_EQ(form.cmdKelvo->BackStyle(), 1);
    EXPECT_EQ(form.cmdKelvo->MaskColor(), 255);
    EXPECT_EQ(form.cmdKelvo->Caption(), "");

    EXPECT_EQ(form.cmdMinimize->Caption(), "-");
    EXPECT_EQ(form.cmdMinimize->Font()->pixelSize(), 18);
    EXPECT_EQ(form.cmdMinimize->TintBright(), 50);
    EXPECT_EQ(form.cmdExit->geometry(), twips(3585, 4140, 300, 270));
    EXPECT_EQ(form.cmdExit->TintColor(), 255);
    ASSERT_TRUE(form.cmdExit->ButtonIcon());
    EXPECT_EQ(form.cmdExit->Caption(), "");

    EXPECT_EQ(form.timerType.interval(), 200);
    EXPECT_FALSE(form.timerType.isActive());
}

TEST_F(Layout, CreationTabAndStackingOrders)
{
    std::vector<QWidget*> tab;
    for (int i = 0; i <= 28; ++i)
        tab.push_back(key(i));
    tab.push_back(form.cmdMinimize);
    tab.push_back(form.cmdExit);
    for (int i = 29; i <= 32; ++i)
        tab.push_back(key(i));
    tab.push_back(form.cmdKelvo);
    for (int i = 33; i <= 57; ++i)
        tab.push_back(key(i));
    for (int i : {60, 61, 58, 59})
        tab.push_back(key(i));
    for (size_t i = 1; i < tab.size(); ++i)
        EXPECT_EQ(tab[i - 1]->nextInFocusChain(), tab[i]) << i;

    // Created in the stored order, each above the ones before it.
    const QObjectList children = form.children();
    std::vector<QObject*> controls;
    for (QObject* child : children)
        if (qobject_cast<ZorvicClick*>(child))
            controls.push_back(child);
    ASSERT_EQ(controls.size(), 65u);
    EXPECT_EQ(controls.front(), form.cmdKelvo);
    EXPECT_EQ(controls[29], key(28));
    EXPECT_EQ(controls[30], form.cmdMinimize);
    EXPECT_EQ(controls[57], key(54));
    EXPECT_EQ(controls[60], key(57)) << "Down lies over Up where they meet";
    EXPECT_EQ(controls[61], key(60));
    EXPECT_EQ(controls.back(), key(59));
}

TEST_F(Layout, OnlyUpAndDownOverlapAndByOnePixelRow)
{
    std::vector<ZorvicClick*> all(form.cmdButton.begin(), form.cmdButton.end());
    all.insert(all.end(), {form.cmdKelvo, form.cmdMinimize, form.cmdExit});
    for (size_t a = 0; a < all.size(); ++a) {
        for (size_t b = a + 1; b < all.size(); ++b) {
            const QRect overlap = all[a]->geometry() & all[b]->geometry();
            const bool upAndDown = all[a] == key(54) && all[b] == key(57);
            EXPECT_EQ(overlap.isEmpty(), !upAndDown) << all[a]->objectName().toStdString() << " and "
                                                     << all[b]->objectName().toStdString();
            if (upAndDown) {
                EXPECT_EQ(overlap, QRect(111, 255, 20, 1));
            }
        }
    }
    EXPECT_EQ(key(0)->objectName(), "cmdButton(0)");
}

TEST(LayoutErrors, AWrongFileIsRefusedNamingItsLineAndKey)
{
    const QByteArray good = builtInLayout();
    // Where the Del key's stored tint brightness is.
    const int delLine = good.left(good.indexOf("    tintbright = 30")).count('\n') + 1;
    struct Case {
        const char* from;
        const char* to;
        const char* key; // for the edits below: what the message says
        const char* problem;
    };
    const Case cases[] = {
        {"    tintbright = 30", "    tintbright = thirty", "tintbright of cmdButton(27)", "is not a value"},
        {"    tintbright = 30", "    tintbright = 99999", "tintbright of cmdButton(27)", "overflow"},
        {"    tintbright = 30", "    tintbrite = 30", "tintbrite of cmdButton(27)", "no such stored entry"},
        {"    tintbright = 30", "    tintbright = @F11", "tintbright of cmdButton(27)", "no font or picture"},
        {"    tintbright = 30", "    tintbright = \"dim\"", "tintbright of cmdButton(27)", "type mismatch"},
        {"    tintbright = 30", "    left 2000", "left of cmdButton(27)", "given twice"},
        {"    tintbright = 30", "# a note", "cmdButton(27)", "would be lost"},
    };
    FakeKeySender sender;
    FakeTone tone;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.to);
        QByteArray text = good;
        text.replace(text.indexOf(c.from), qstrlen(c.from), c.to);
        try {
            frmKelvo form(sender, tone, StoredLayout::parse(text, QStringLiteral("frmKelvo.layout")));
            ADD_FAILURE() << "accepted";
        } catch (const LayoutError& error) {
            EXPECT_EQ(error.file, "frmKelvo.layout");
            EXPECT_EQ(error.line, delLine);
            EXPECT_EQ(error.key, QString::fromLatin1(c.key));
            EXPECT_TRUE(QString::fromUtf8(error.what()).contains(QLatin1String(c.problem))) << error.what();
        }
    }

    // Lines of their own: a table entry, a missing or foreign control.
    auto refusal = [&](QByteArray text) -> QString {
        try {
            frmKelvo form(sender, tone, StoredLayout::parse(text, QStringLiteral("frmKelvo.layout")));
        } catch (const LayoutError& error) {
            return QStringLiteral("%1 %2").arg(error.line).arg(QString::fromUtf8(error.what()));
        }
        return QStringLiteral("accepted");
    };
    const Case edits[] = {
        {"    left 930\n", "    left 931\n", ": left of cmdButton(27): \"931\" is not a position in twips", ""},
        {"    tabindex 27\n", "    tabindex 0\n", ": tabindex of cmdButton(27): 0 is cmdButton(0)'s tab index", ""},
        {"\"Tahoma\" 8.25", "\"Tahoma\" 8", "not a whole number of pixels", ""},
        {"face-f4.gif", "face-f44.gif", "F4: cannot read a picture", ""},
        {"button cmdButton(12)", "button cmdButton(62)", "cmdButton(62): the keyboard window has no such", ""},
        {"button cmdButton(12)", "button cmdButton(11)", "cmdButton(11): the control is given twice", ""},
        {"timer timerType", "timer timerTipe", "timerTipe: the keyboard window has no such", ""},
    };
    for (const Case& c : edits) {
        QByteArray text = good;
        EXPECT_TRUE(refusal(text.replace(c.from, c.to)).contains(QLatin1String(c.key))) << c.to;
    }
    QByteArray text = good;
    const qsizetype start = text.indexOf("button cmdButton(12)");
    text.remove(start, text.indexOf("\n\n", start) + 1 - start);
    EXPECT_TRUE(refusal(text).contains("cmdButton(12): the keyboard window's control is missing"));
}

TEST(LayoutText, CommentsAndOddTablesSurviveAWriteAndEscapesReadBack)
{
    const QByteArray text = "# head\n"
                            "picture p = bitmap :/button/face-normal.gif\n"
                            "\n"
                            "# the sans\n"
                            "font f = \"A \\\"quoted\\\" face\" 9.75 regular set 0\n"
                            "button b(3)\n"
                            "    left -15\n"
                            "    top 0\n"
                            "    width 30\n"
                            "    height 15\n"
                            "    tabindex 7\n"
                            "    tag \"back\\\\slash\"\n"
                            "    font = @f\n"
                            "    caption = \"say \\\"hi\\\"\"\n"
                            "    picnormal = @p\n"
                            "    buttonicon = Nothing\n"
                            "\n"
                            "timer t\n"
                            "    enabled True\n"
                            "    interval 0\n"
                            "# tail\n";
    const StoredLayout layout = StoredLayout::parse(text, QStringLiteral("odd.layout"));
    EXPECT_EQ(layout.write().toStdString(), text.toStdString());
    ASSERT_EQ(layout.controls.size(), 2u);
    EXPECT_EQ(layout.fonts[0].face.face, "A \"quoted\" face");
    EXPECT_EQ(layout.controls[0].tag, "back\\slash");
    EXPECT_EQ(std::get<QString>(layout.controls[0].bag.entries()[1].value), "say \"hi\"");
    EXPECT_EQ(std::get<FontRef>(layout.controls[0].bag.entries()[0].value), layout.fonts[0].font);
    EXPECT_TRUE(layout.controls[1].enabled);
}
