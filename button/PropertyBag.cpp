#include "button/PropertyBag.h"

#include <cmath>
#include <limits>

namespace kelvo {

namespace {

QString quoted(const QString& text)
{
    constexpr int shown = 40;
    return QLatin1Char('"') + (text.size() > shown ? text.left(shown) + QStringLiteral("...") : text)
        + QLatin1Char('"');
}

[[noreturn]] void mismatch(const PropertyValue& value, const QString& key, const char* wanted)
{
    QString what = typeName(value);
    if (const QString* text = std::get_if<QString>(&value))
        what += QLatin1Char(' ') + quoted(*text);
    throw PropertyError(PropertyError::TypeMismatch, key,
                        QStringLiteral("property \"%1\": type mismatch: a %2 is not a %3")
                            .arg(key, what, QLatin1String(wanted)));
}

// A number written in a string: an optional sign, digits and an optional
// fraction, which goes to the nearest whole number (a tie to the even one);
// "True" and "False" count as -1 and 0.
std::optional<double> numberIn(const QString& text)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return -1.0;
    if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return 0.0;
    int i = 0;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+')))
        ++i;
    int digits = 0;
    while (i < t.size() && t[i].isDigit() && t[i].unicode() < 128) {
        ++i;
        ++digits;
    }
    if (i < t.size() && t[i] == QLatin1Char('.')) {
        ++i;
        while (i < t.size() && t[i].isDigit() && t[i].unicode() < 128) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0 || i != t.size())
        return std::nullopt;
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return std::nearbyint(v);
}

// The value as a whole number, for the integer types.
double wholeNumber(const PropertyValue& value, const QString& key, const char* wanted)
{
    if (const Boolean* b = std::get_if<Boolean>(&value))
        return b->value;
    if (const qint16* s = std::get_if<qint16>(&value))
        return *s;
    if (const qint32* l = std::get_if<qint32>(&value))
        return *l;
    if (const QString* text = std::get_if<QString>(&value)) {
        if (const std::optional<double> v = numberIn(*text))
            return *v;
    }
    mismatch(value, key, wanted);
}

template <typename Int>
Int fitted(double v, const QString& key, const char* wanted)
{
    if (v < std::numeric_limits<Int>::min() || v > std::numeric_limits<Int>::max())
        throw PropertyError(PropertyError::Overflow, key,
                            QStringLiteral("property \"%1\": overflow: %2 does not fit a %3")
                                .arg(key)
                                .arg(v, 0, 'f', 0)
                                .arg(QLatin1String(wanted)));
    return Int(v);
}

} // namespace

QString typeName(const PropertyValue& value)
{
    switch (value.index()) {
    case 0: return QStringLiteral("Boolean");
    case 1: return QStringLiteral("16-bit integer");
    case 2: return QStringLiteral("32-bit integer");
    case 3: return QStringLiteral("string");
    case 4: return QStringLiteral("font");
    default: return QStringLiteral("picture");
    }
}

bool sameValue(const PropertyValue& a, const PropertyValue& b)
{
    auto number = [](const PropertyValue& v) -> std::optional<qint32> {
        if (const Boolean* x = std::get_if<Boolean>(&v))
            return x->value;
        if (const qint16* x = std::get_if<qint16>(&v))
            return *x;
        if (const qint32* x = std::get_if<qint32>(&v))
            return *x;
        return std::nullopt;
    };
    const std::optional<qint32> na = number(a);
    const std::optional<qint32> nb = number(b);
    if (na || nb)
        return na && nb && *na == *nb;
    if (const QString* sa = std::get_if<QString>(&a)) {
        const QString* sb = std::get_if<QString>(&b);
        return sb && *sa == *sb;
    }
    if (const FontRef* fa = std::get_if<FontRef>(&a)) {
        const FontRef* fb = std::get_if<FontRef>(&b);
        return fb && *fa == *fb;
    }
    const PictureRef* pa = std::get_if<PictureRef>(&a);
    const PictureRef* pb = std::get_if<PictureRef>(&b);
    if (!pa || !pb)
        return false;
    const bool emptyA = !*pa || (*pa)->isEmpty();
    const bool emptyB = !*pb || (*pb)->isEmpty();
    if (emptyA || emptyB)
        return emptyA && emptyB;
    return *pa == *pb;
}

bool toBoolean(const PropertyValue& value, const QString& key)
{
    return wholeNumber(value, key, "Boolean") != 0;
}

qint16 toInt16(const PropertyValue& value, const QString& key)
{
    return fitted<qint16>(wholeNumber(value, key, "16-bit integer"), key, "16-bit integer");
}

qint32 toInt32(const PropertyValue& value, const QString& key)
{
    return fitted<qint32>(wholeNumber(value, key, "32-bit integer"), key, "32-bit integer");
}

QString toText(const PropertyValue& value, const QString& key)
{
    if (const QString* text = std::get_if<QString>(&value))
        return *text;
    if (const Boolean* b = std::get_if<Boolean>(&value))
        return b->value ? QStringLiteral("True") : QStringLiteral("False");
    if (const qint16* s = std::get_if<qint16>(&value))
        return QString::number(*s);
    if (const qint32* l = std::get_if<qint32>(&value))
        return QString::number(*l);
    mismatch(value, key, "string");
}

FontRef toFont(const PropertyValue& value, const QString& key)
{
    const FontRef* font = std::get_if<FontRef>(&value);
    if (!font || !*font)
        mismatch(value, key, "font");
    return *font;
}

PictureRef toPicture(const PropertyValue& value, const QString& key)
{
    const PictureRef* picture = std::get_if<PictureRef>(&value);
    if (!picture)
        mismatch(value, key, "picture");
    return *picture;
}

qint16 narrow16(qint32 value, const QString& what)
{
    return fitted<qint16>(value, what, "16-bit integer");
}

void PropertyBag::WriteProperty(const QString& name, const PropertyValue& value,
                                const std::optional<PropertyValue>& defaultValue)
{
    if (defaultValue && sameValue(value, *defaultValue))
        return;
    append(name, value);
}

PropertyValue PropertyBag::ReadProperty(const QString& name, const PropertyValue& defaultValue) const
{
    for (const Entry& entry : entries_) {
        if (entry.key.compare(name, Qt::CaseInsensitive) == 0)
            return entry.value;
    }
    return defaultValue;
}

void PropertyBag::append(const QString& name, const PropertyValue& value)
{
    entries_.push_back({name.toLower(), value});
}

} // namespace kelvo
