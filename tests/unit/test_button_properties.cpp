// The button's properties: what setting each one does, and how the set is
// stored into and loaded from a property bag.
#include "button/ZorvicClick.h"

#include <functional>

#include <gtest/gtest.h>

using namespace kelvo;

namespace {

// Counts repaints and records property notifications.
class CountingButton : public ZorvicClick {
public:
    explicit CountingButton(QWidget* parent)
        : ZorvicClick(parent)
    {
        connect(this, &ZorvicClick::PropertyChanged, this,
                [this](const QString& name) { notified << name; });
    }
    void Redraw(int state) override
    {
        paints << state;
        ZorvicClick::Redraw(state);
    }
    void clear()
    {
        paints.clear();
        notified.clear();
    }
    QList<int> paints;
    QStringList notified;
};

QStringList keys(const PropertyBag& bag)
{
    QStringList out;
    for (const PropertyBag::Entry& e : bag.entries())
        out << e.key;
    return out;
}

class Properties : public testing::Test {
protected:
    Properties()
    {
        host.resize(200, 100);
        button = new CountingButton(&host);
        button->setGeometry(0, 0, 100, 40);
        button->InitProperties();
        button->clear();
    }
    PropertyBag saved() const
    {
        PropertyBag bag;
        button->WriteProperties(bag);
        return bag;
    }

    QWidget host;
    CountingButton* button;
};

} // namespace

TEST_F(Properties, WhichSettersRepaintAndNotify)
{
    const auto picture = emptyPicture();
    const std::vector<std::pair<QString, std::function<void()>>> repainting = {
        {"BackColor", [&] { button->setBackColor(1); }},
        {"Font", [&] { button->setFont(std::make_shared<QFont>()); }},
        {"CaptionColor", [&] { button->setCaptionColor(1); }},
        {"Tint", [&] { button->setTint(true); }},
        {"TintColor", [&] { button->setTintColor(1); }},
        {"ZorvicStyle", [&] { button->setZorvicStyle(0); }},
        {"TintBright", [&] { button->setTintBright(1); }},
        {"PicNormal", [&] { button->setPicNormal(picture); }},
        {"PicOver", [&] { button->setPicOver(picture); }},
        {"PicDown", [&] { button->setPicDown(picture); }},
        {"CustomPic", [&] { button->setCustomPic(true); }},
        {"ButtonIcon", [&] { button->setButtonIcon(picture); }},
        {"ButtonIconShow", [&] { button->setButtonIconShow(true); }},
        {"MaskColor", [&] { button->setMaskColor(1); }},
        {"ButtonIconPos", [&] { button->setButtonIconPos(2); }},
        {"GradientNormal1", [&] { button->setGradientNormal1(1); }},
        {"GradientNormal2", [&] { button->setGradientNormal2(1); }},
        {"GradientOver1", [&] { button->setGradientOver1(1); }},
        {"GradientOver2", [&] { button->setGradientOver2(1); }},
        {"GradientDown1", [&] { button->setGradientDown1(1); }},
        {"GradientDown2", [&] { button->setGradientDown2(1); }},
        {"GradientStyle", [&] { button->setGradientStyle(1); }},
        {"Caption", [&] { button->setCaption("A"); }},
    };
    for (const auto& [name, set] : repainting) {
        button->clear();
        set();
        EXPECT_EQ(button->paints, QList<int>{StateNormal}) << qPrintable(name);
        EXPECT_EQ(button->notified, QStringList{name});
    }
    const std::vector<std::pair<QString, std::function<void()>>> quiet = {
        {"Enabled", [&] { button->setEnabled(false); }},
        {"BackStyle", [&] { button->setBackStyle(1); }},
        {"BorderStyle", [&] { button->setBorderStyle(1); }},
        {"UpMotion", [&] { button->setUpMotion(true); }},
        {"UserDrag", [&] { button->setUserDrag(true); }},
    };
    for (const auto& [name, set] : quiet) {
        button->clear();
        set();
        EXPECT_TRUE(button->paints.isEmpty()) << qPrintable(name);
        EXPECT_EQ(button->notified, QStringList{name});
    }
    button->clear();
    button->Refresh();
    EXPECT_EQ(button->paints, QList<int>{StateNormal});
    EXPECT_TRUE(button->notified.isEmpty());
}

TEST_F(Properties, SixteenBitValuesOverflowAndKeepTheOldOne)
{
    button->setButtonIconPos(-3);
    EXPECT_EQ(button->ButtonIconPos(), -3);
    button->clear();
    for (auto set : {&ZorvicClick::setButtonIconPos, &ZorvicClick::setBackStyle,
                     &ZorvicClick::setBorderStyle}) {
        try {
            (button->*set)(40000);
            ADD_FAILURE() << "40000 accepted";
        } catch (const PropertyError& e) {
            EXPECT_EQ(e.kind, PropertyError::Overflow);
            EXPECT_TRUE(QString::fromStdString(e.what()).contains("40000")) << e.what();
        }
    }
    EXPECT_EQ(button->ButtonIconPos(), -3);
    EXPECT_EQ(button->BackStyle(), 0);
    EXPECT_TRUE(button->paints.isEmpty());
    EXPECT_TRUE(button->notified.isEmpty());
}

TEST_F(Properties, FontsAndPicturesAreShared)
{
    auto font = std::make_shared<QFont>(QStringLiteral("DejaVu Sans"));
    auto icon = emptyPicture();
    button->setFont(font);
    button->setButtonIcon(icon);
    EXPECT_EQ(button->Font(), font);
    EXPECT_EQ(button->ButtonIcon(), icon);
    // A change the host makes to its font shows at the next paint.
    font->setPixelSize(30);
    const int before = button->faceLayout().TextRect.Top;
    button->setButtonIconShow(true);
    button->setButtonIconPos(IconBehind);
    EXPECT_LT(button->faceLayout().TextRect.Top, before);
}

TEST_F(Properties, SavedInOrderWithoutDefaults)
{
    // A new instance: its font, and the surface's own colours, which are
    // not the stored defaults; nothing else.
    PropertyBag bag = saved();
    EXPECT_EQ(keys(bag), (QStringList{"backcolor", "font", "captioncolor"}));
    EXPECT_EQ(std::get<FontRef>(bag.entries()[1].value), button->Font());

    // A caption of its own is stored twice; Tint only when True, as a Boolean.
    button->setCaption("A");
    button->setTint(true);
    button->setButtonIconShow(true);
    button->setButtonIconPos(IconBehind);
    button->setPicNormal(emptyPicture()); // holds no image: as good as none
    auto over = std::make_shared<Picture>();
    over->image = QImage(2, 2, QImage::Format_RGB32);
    button->setPicOver(over);
    bag = saved();
    EXPECT_EQ(keys(bag), (QStringList{"backcolor", "font", "captioncolor", "caption", "tint",
                                      "picover", "buttoniconshow", "buttoniconpos", "caption"}));
    EXPECT_EQ(std::get<QString>(bag.entries()[3].value), "A");
    EXPECT_EQ(std::get<Boolean>(bag.entries()[4].value), Boolean{-1});
    EXPECT_EQ(std::get<qint16>(bag.entries()[7].value), 4);

    // Loaded into another control and saved again: the same entries.
    CountingButton copy(&host);
    copy.ReadProperties(bag);
    PropertyBag again;
    copy.WriteProperties(again);
    ASSERT_EQ(keys(again), keys(bag));
    for (size_t i = 0; i < bag.entries().size(); ++i)
        EXPECT_TRUE(sameValue(again.entries()[i].value, bag.entries()[i].value)) << i;
    EXPECT_EQ(copy.PicOver(), over);
}

TEST_F(Properties, LoadingAnEmptyBagGivesTheDefaults)
{
    button->ReadProperties(PropertyBag());
    EXPECT_EQ(quint32(button->BackColor()), 0x8000000Fu);
    EXPECT_EQ(quint32(button->CaptionColor()), 0x80000012u);
    EXPECT_EQ(button->BackStyle(), 0);
    EXPECT_EQ(button->BorderStyle(), 0);
    EXPECT_TRUE(button->Enabled());
    EXPECT_EQ(button->Caption(), "Zorvic Click");
    EXPECT_EQ(button->TintColor(), 1500000);
    EXPECT_EQ((QList<qint32>{button->GradientNormal1(), button->GradientNormal2(),
                             button->GradientOver1(), button->GradientOver2(),
                             button->GradientDown1(), button->GradientDown2()}),
              (QList<qint32>{255, 65535, 16711680, 255, 65280, 65535}));
    EXPECT_EQ(button->PicNormal(), nullptr);
    EXPECT_EQ(button->PicOver(), nullptr);
    EXPECT_EQ(button->PicDown(), nullptr);
    EXPECT_EQ(button->ButtonIcon(), nullptr);
    // Only the style goes through its property: one repaint, one notice.
    EXPECT_EQ(button->paints, QList<int>{StateNormal});
    EXPECT_EQ(button->notified, QStringList{"ZorvicStyle"});
}

TEST_F(Properties, LoadingConvertsOrRefusesTheWholeBag)
{
    // Keys match without regard to case, the first of two wins, and values
    // convert where they can: a numeric string, a 16-bit number for a colour.
    PropertyBag bag;
    bag.append("TINTCOLOR", QStringLiteral(" 255 "));
    bag.append("tintcolor", qint32(7));
    bag.append("Tint", qint16(1));
    bag.append("ButtonIconPos", qint32(3));
    bag.append("Caption", qint32(12));
    button->ReadProperties(bag);
    EXPECT_EQ(keys(bag).first(), "tintcolor");
    EXPECT_EQ(button->TintColor(), 255);
    EXPECT_TRUE(button->Tint());
    EXPECT_EQ(button->ButtonIconPos(), 3);
    EXPECT_EQ(button->Caption(), "12");

    // A value of the wrong kind, or too large, fails naming its key, and
    // nothing of that bag is applied.
    auto refused = [&](const char* key, const PropertyValue& value, PropertyError::Kind kind) {
        PropertyBag bad;
        bad.append("Caption", QStringLiteral("changed"));
        bad.append(key, value);
        button->clear();
        try {
            button->ReadProperties(bad);
            ADD_FAILURE() << key << " accepted";
        } catch (const PropertyError& e) {
            EXPECT_EQ(e.kind, kind) << key;
            EXPECT_TRUE(QString::fromStdString(e.what()).contains(key, Qt::CaseInsensitive)) << e.what();
        }
        EXPECT_EQ(button->Caption(), "12");
        EXPECT_TRUE(button->notified.isEmpty());
    };
    refused("TintColor", QStringLiteral("blue"), PropertyError::TypeMismatch);
    refused("Font", qint32(3), PropertyError::TypeMismatch);
    refused("PicNormal", QStringLiteral("face.gif"), PropertyError::TypeMismatch);
    refused("Enabled", emptyPicture(), PropertyError::TypeMismatch);
    refused("ButtonIconPos", qint32(40000), PropertyError::Overflow);
    refused("TintBright", QStringLiteral("99999"), PropertyError::Overflow);
}
