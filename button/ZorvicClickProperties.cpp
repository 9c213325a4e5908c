// The button's properties, and how they are stored and loaded.
#include "button/ZorvicClick.h"

#include <QHash>

namespace kelvo {

namespace {

const QString DefaultCaption = QStringLiteral("Zorvic Click");

// Defaults of the stored entries: a missing entry loads as these, and a
// value equal to its default is not stored.
constexpr qint32 DefaultBackColor = qint32(0x8000000F);    // button face
constexpr qint32 DefaultCaptionColor = qint32(0x80000012); // button text
constexpr qint32 DefaultTintColor = 1500000;
constexpr qint32 DefaultGradientNormal1 = 255;
constexpr qint32 DefaultGradientNormal2 = 65535;
constexpr qint32 DefaultGradientOver1 = 16711680;
constexpr qint32 DefaultGradientOver2 = 255;
constexpr qint32 DefaultGradientDown1 = 65280;
constexpr qint32 DefaultGradientDown2 = 65535;

const PropertyValue False = Boolean::of(false);
const PropertyValue Zero16 = qint16(0);
const PropertyValue NoPicture = PictureRef();

} // namespace

QString ZorvicClick::HelpString(const QString& member)
{
    static const QHash<QString, QString> help = {
        {"BackColor", "Returns/sets the background color used to display text and graphics in an object."},
        {"Enabled", "Returns/sets a value that determines whether an object can respond to user-generated events."},
        {"Font", "Returns a Font object."},
        {"BackStyle", "Indicates whether a Label or the background of a Shape is transparent or opaque."},
        {"BorderStyle", "Returns/sets the border style for an object."},
        {"Refresh", "Forces a complete repaint of a object."},
        {"CaptionColor", "Returns/sets the foreground color used to display text and graphics in an object."},
        {"MaskColor", "Returns/sets the color that specifies transparent areas in the MaskPicture."},
        {"hDC", "Returns a handle (from Microsoft Windows) to the object's device context."},
        {"hWnd", "Returns a handle (from Microsoft Windows) to an object's window."},
    };
    return help.value(member);
}

template <typename Field>
void ZorvicClick::assign(Field& field, const Field& value, const char* name, bool repaint)
{
    field = value;
    changed(name, repaint);
}

void ZorvicClick::changed(const char* name, bool repaint)
{
    ++generation_;
    if (repaint)
        Redraw(StateNormal);
    emit PropertyChanged(QString::fromLatin1(name));
}

void ZorvicClick::setBackColor(qint32 New_BackColor) { assign(backColor_, New_BackColor, "BackColor"); }

void ZorvicClick::setEnabled(bool New_Enabled)
{
    QWidget::setEnabled(New_Enabled);
    changed("Enabled", false);
}

void ZorvicClick::setFont(const FontRef& New_Font)
{
    useFont(New_Font);
    changed("Font");
}

void ZorvicClick::useFont(const FontRef& font)
{
    font_ = font;
    // Our own font is no change of the host's: no second repaint for it.
    applyingFont_ = true;
    QWidget::setFont(font_ ? *font_ : QFont());
    applyingFont_ = false;
}

void ZorvicClick::setBackStyle(qint32 New_BackStyle)
{
    backStyle_ = narrow16(New_BackStyle, QStringLiteral("BackStyle"));
    applyMask();
    changed("BackStyle", false);
}

void ZorvicClick::setBorderStyle(qint32 New_BorderStyle)
{
    borderStyle_ = narrow16(New_BorderStyle, QStringLiteral("BorderStyle"));
    update();
    changed("BorderStyle", false);
}

void ZorvicClick::Refresh()
{
    ++generation_;
    repaint();
    Redraw(StateNormal);
}

void ZorvicClick::setCaptionColor(qint32 New_CaptionColor) { assign(captionColor_, New_CaptionColor, "CaptionColor"); }
void ZorvicClick::setTint(bool New_Tint) { assign(tint_, New_Tint, "Tint"); }
void ZorvicClick::setTintColor(qint32 New_TintColor) { assign(tintColor_, New_TintColor, "TintColor"); }
void ZorvicClick::setZorvicStyle(qint32 New_ZorvicStyle) { assign(zorvicStyle_, New_ZorvicStyle, "ZorvicStyle"); }
void ZorvicClick::setTintBright(qint16 New_TintBright) { assign(tintBright_, New_TintBright, "TintBright"); }
void ZorvicClick::setPicNormal(const PictureRef& New_PicNormal) { assign(picNormal_, New_PicNormal, "PicNormal"); }
void ZorvicClick::setPicOver(const PictureRef& New_PicOver) { assign(picOver_, New_PicOver, "PicOver"); }
void ZorvicClick::setPicDown(const PictureRef& New_PicDown) { assign(picDown_, New_PicDown, "PicDown"); }
void ZorvicClick::setCustomPic(bool New_CustomPic) { assign(customPic_, New_CustomPic, "CustomPic"); }
void ZorvicClick::setButtonIcon(const PictureRef& New_ButtonIcon) { assign(buttonIcon_, New_ButtonIcon, "ButtonIcon"); }
void ZorvicClick::setButtonIconShow(bool New_ButtonIconShow) { assign(buttonIconShow_, New_ButtonIconShow, "ButtonIconShow"); }
void ZorvicClick::setMaskColor(qint32 New_MaskColor) { assign(maskColor_, New_MaskColor, "MaskColor"); }

void ZorvicClick::setButtonIconPos(qint32 New_ButtonIconPos)
{
    buttonIconPos_ = narrow16(New_ButtonIconPos, QStringLiteral("ButtonIconPos"));
    changed("ButtonIconPos");
}

void ZorvicClick::setGradientNormal1(qint32 New_GradientNormal1) { assign(gradientNormal1_, New_GradientNormal1, "GradientNormal1"); }
void ZorvicClick::setGradientNormal2(qint32 New_GradientNormal2) { assign(gradientNormal2_, New_GradientNormal2, "GradientNormal2"); }
void ZorvicClick::setGradientOver1(qint32 New_GradientOver1) { assign(gradientOver1_, New_GradientOver1, "GradientOver1"); }
void ZorvicClick::setGradientOver2(qint32 New_GradientOver2) { assign(gradientOver2_, New_GradientOver2, "GradientOver2"); }
void ZorvicClick::setGradientDown1(qint32 New_GradientDown1) { assign(gradientDown1_, New_GradientDown1, "GradientDown1"); }
void ZorvicClick::setGradientDown2(qint32 New_GradientDown2) { assign(gradientDown2_, New_GradientDown2, "GradientDown2"); }
void ZorvicClick::setGradientStyle(qint32 New_GradientStyle) { assign(gradientStyle_, New_GradientStyle, "GradientStyle"); }
void ZorvicClick::setUpMotion(bool New_UpMotion) { assign(upMotion_, New_UpMotion, "UpMotion", false); }
void ZorvicClick::setUserDrag(bool New_UserDrag) { assign(userDrag_, New_UserDrag, "UserDrag", false); }

void ZorvicClick::setCaption(const QString& New_Caption)
{
    caption_ = New_Caption;
    updateAccessKey();
    changed("Caption");
}

void ZorvicClick::InitProperties()
{
    PointerIsOut = false;
    Redraw(StateNormal);
    useFont(std::make_shared<QFont>(parentWidget() ? parentWidget()->font() : QWidget::font()));
    tint_ = false;
    tintColor_ = DefaultTintColor;
    tintBright_ = 0;
    picNormal_ = emptyPicture();
    picOver_ = emptyPicture();
    picDown_ = emptyPicture();
    customPic_ = false;
    buttonIcon_ = emptyPicture();
    buttonIconShow_ = false;
    setMaskColor(0);
    gradientNormal1_ = DefaultGradientNormal1;
    gradientOver2_ = DefaultGradientOver2;
    buttonIconPos_ = 0;
    gradientNormal2_ = DefaultGradientNormal2;
    gradientOver1_ = DefaultGradientOver1;
    gradientDown1_ = DefaultGradientDown1;
    gradientDown2_ = DefaultGradientDown2;
    gradientStyle_ = 0;
    upMotion_ = false;
    userDrag_ = false;
    caption_ = DefaultCaption;
    updateAccessKey();
    // What was set after the repaint above shows at the next one.
    ++generation_;
}

const QStringList& ZorvicClick::StoredKeys()
{
    // Kept in step with WriteProperties below.
    static const QStringList keys = QString::fromLatin1(
        "backcolor enabled font backstyle borderstyle captioncolor caption "
        "tint tintcolor zorvicstyle tintbright picnormal picover picdown "
        "custompic buttonicon buttoniconshow maskcolor buttoniconpos "
        "gradientnormal1 gradientnormal2 gradientover1 gradientover2 "
        "gradientdown1 gradientdown2 gradientstyle upmotion userdrag ")
        .split(u' ', Qt::SkipEmptyParts);
    return keys;
}

void ZorvicClick::WriteProperties(PropertyBag& bag) const
{
    bag.WriteProperty("BackColor", backColor_, DefaultBackColor);
    bag.WriteProperty("Enabled", Boolean::of(isEnabled()), Boolean::of(true));
    bag.WriteProperty("Font", font_);
    bag.WriteProperty("BackStyle", backStyle_, Zero16);
    bag.WriteProperty("BorderStyle", borderStyle_, Zero16);
    bag.WriteProperty("CaptionColor", captionColor_, DefaultCaptionColor);
    bag.WriteProperty("Caption", caption_, DefaultCaption);
    bag.WriteProperty("Tint", Boolean::of(tint_), Zero16);
    bag.WriteProperty("TintColor", tintColor_, DefaultTintColor);
    bag.WriteProperty("ZorvicStyle", zorvicStyle_, Zero16);
    bag.WriteProperty("TintBright", tintBright_, Zero16);
    bag.WriteProperty("PicNormal", picNormal_, NoPicture);
    bag.WriteProperty("PicOver", picOver_, NoPicture);
    bag.WriteProperty("PicDown", picDown_, NoPicture);
    bag.WriteProperty("CustomPic", Boolean::of(customPic_), Zero16);
    bag.WriteProperty("ButtonIcon", buttonIcon_, NoPicture);
    bag.WriteProperty("ButtonIconShow", Boolean::of(buttonIconShow_), Zero16);
    bag.WriteProperty("MaskColor", maskColor_, qint32(0));
    bag.WriteProperty("ButtonIconPos", buttonIconPos_, Zero16);
    bag.WriteProperty("GradientNormal1", gradientNormal1_, DefaultGradientNormal1);
    bag.WriteProperty("GradientNormal2", gradientNormal2_, DefaultGradientNormal2);
    bag.WriteProperty("GradientOver1", gradientOver1_, DefaultGradientOver1);
    bag.WriteProperty("GradientOver2", gradientOver2_, DefaultGradientOver2);
    bag.WriteProperty("GradientDown1", gradientDown1_, DefaultGradientDown1);
    bag.WriteProperty("GradientDown2", gradientDown2_, DefaultGradientDown2);
    bag.WriteProperty("GradientStyle", gradientStyle_, Zero16);
    bag.WriteProperty("UpMotion", Boolean::of(upMotion_), Zero16);
    bag.WriteProperty("UserDrag", Boolean::of(userDrag_), Zero16);
    bag.WriteProperty("Caption", caption_, DefaultCaption);
}

void ZorvicClick::ReadProperties(const PropertyBag& bag)
{
    // Every value is converted before any is applied, so a bag that fails
    // leaves the control as it was.
    auto read = [&bag](const char* key, const PropertyValue& def) {
        return std::pair(QString::fromLatin1(key), bag.ReadProperty(QString::fromLatin1(key), def));
    };
    auto int32 = [&](const char* key, qint32 def) {
        auto [k, v] = read(key, def);
        return toInt32(v, k);
    };
    auto int16 = [&](const char* key) {
        auto [k, v] = read(key, Zero16);
        return toInt16(v, k);
    };
    auto boolean = [&](const char* key, bool def) {
        auto [k, v] = read(key, Boolean::of(def));
        return toBoolean(v, k);
    };
    auto text = [&](const char* key) {
        auto [k, v] = read(key, DefaultCaption);
        return toText(v, k);
    };
    auto picture = [&](const char* key) {
        auto [k, v] = read(key, NoPicture);
        return toPicture(v, k);
    };

    const qint32 backColor = int32("BackColor", DefaultBackColor);
    const bool enabled = boolean("Enabled", true);
    const auto [fontKey, fontValue] = read("Font", font_);
    const FontRef font = toFont(fontValue, fontKey);
    const qint16 backStyle = int16("BackStyle");
    const qint16 borderStyle = int16("BorderStyle");
    const qint32 captionColor = int32("CaptionColor", DefaultCaptionColor);
    const QString caption = text("Caption");
    const bool tint = boolean("Tint", false);
    const qint32 tintColor = int32("TintColor", DefaultTintColor);
    const qint32 style = int32("ZorvicStyle", 0);
    const qint16 tintBright = int16("TintBright");
    const PictureRef picNormal = picture("PicNormal");
    const PictureRef picOver = picture("PicOver");
    const PictureRef picDown = picture("PicDown");
    const bool customPic = boolean("CustomPic", false);
    const PictureRef buttonIcon = picture("ButtonIcon");
    const bool buttonIconShow = boolean("ButtonIconShow", false);
    const qint32 maskColor = int32("MaskColor", 0);
    const qint16 buttonIconPos = int16("ButtonIconPos");
    const qint32 gradientNormal1 = int32("GradientNormal1", DefaultGradientNormal1);
    const qint32 gradientNormal2 = int32("GradientNormal2", DefaultGradientNormal2);
    const qint32 gradientOver1 = int32("GradientOver1", DefaultGradientOver1);
    const qint32 gradientOver2 = int32("GradientOver2", DefaultGradientOver2);
    const qint32 gradientDown1 = int32("GradientDown1", DefaultGradientDown1);
    const qint32 gradientDown2 = int32("GradientDown2", DefaultGradientDown2);
    const qint32 gradientStyle = int32("GradientStyle", 0);
    const bool upMotion = boolean("UpMotion", false);
    const bool userDrag = boolean("UserDrag", false);
    const QString lastCaption = text("Caption");

    backColor_ = backColor;
    QWidget::setEnabled(enabled);
    useFont(font);
    backStyle_ = backStyle;
    borderStyle_ = borderStyle;
    captionColor_ = captionColor;
    caption_ = caption;
    tint_ = tint;
    tintColor_ = tintColor;
    // The one entry loaded through its property: it repaints here.
    setZorvicStyle(style);
    tintBright_ = tintBright;
    picNormal_ = picNormal;
    picOver_ = picOver;
    picDown_ = picDown;
    customPic_ = customPic;
    buttonIcon_ = buttonIcon;
    buttonIconShow_ = buttonIconShow;
    maskColor_ = maskColor;
    applyMask();
    buttonIconPos_ = buttonIconPos;
    gradientNormal1_ = gradientNormal1;
    gradientNormal2_ = gradientNormal2;
    gradientOver1_ = gradientOver1;
    gradientOver2_ = gradientOver2;
    gradientDown1_ = gradientDown1;
    gradientDown2_ = gradientDown2;
    gradientStyle_ = gradientStyle;
    upMotion_ = upMotion;
    userDrag_ = userDrag;
    caption_ = lastCaption;
    updateAccessKey();
    // What was set after the style's repaint shows at the next one.
    ++generation_;
}

} // namespace kelvo
