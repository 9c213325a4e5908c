#include "keyboard/StoredLayout.h"

#include "button/ZorvicClick.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <climits>
#include <map>
#include <set>

namespace kelvo {

LayoutError::LayoutError(const QString& file, int line, const QString& key, const QString& problem)
    : std::runtime_error(QStringLiteral("%1:%2: %3: %4").arg(file).arg(line).arg(key, problem).toStdString())
    , file(file)
    , line(line)
    , key(key)
{
}

QString StoredControl::title() const
{
    return index < 0 ? name : QStringLiteral("%1(%2)").arg(name).arg(index);
}

int StoredControl::lineOf(const QString& key) const
{
    for (const auto& [k, line] : keyLines)
        if (k.compare(key, Qt::CaseInsensitive) == 0)
            return line;
    return line;
}

const StoredControl* StoredLayout::find(const QString& name, int index) const
{
    for (const StoredControl& control : controls)
        if (control.name == name && control.index == index)
            return &control;
    return nullptr;
}

void StoredLayout::fail(const StoredControl& control, const QString& key, const QString& problem) const
{
    throw LayoutError(file, control.lineOf(key), QStringLiteral("%1 of %2").arg(key, control.title()), problem);
}

namespace {

const QString Indent = QStringLiteral("    ");

QString quoted(const QString& text)
{
    QString out = QStringLiteral("\"");
    for (QChar c : text) {
        if (c == u'"' || c == u'\\')
            out += u'\\';
        out += c;
    }
    return out + u'"';
}

QString pointsText(double points)
{
    return QString::number(points, 'g', 12);
}

// Reads one line's words from left to right.
class Cursor {
public:
    explicit Cursor(QStringView text)
        : text_(text)
    {
    }

    void skipSpaces()
    {
        while (pos_ < text_.size() && (text_[pos_] == u' ' || text_[pos_] == u'\t'))
            ++pos_;
    }
    bool atEnd()
    {
        skipSpaces();
        return pos_ >= text_.size();
    }
    QChar peek()
    {
        skipSpaces();
        return pos_ < text_.size() ? text_[pos_] : QChar();
    }
    // A run of characters up to a space, "=" or "(".
    QString word()
    {
        skipSpaces();
        const qsizetype start = pos_;
        while (pos_ < text_.size() && text_[pos_] != u' ' && text_[pos_] != u'\t' && text_[pos_] != u'='
               && text_[pos_] != u'(')
            ++pos_;
        return text_.mid(start, pos_ - start).toString();
    }
    // The characters up to `c` or the end of the line.
    QString until(QChar c)
    {
        skipSpaces();
        const qsizetype start = pos_;
        while (pos_ < text_.size() && text_[pos_] != c)
            ++pos_;
        return text_.mid(start, pos_ - start).toString().trimmed();
    }
    bool take(QChar c)
    {
        if (peek() != c)
            return false;
        ++pos_;
        return true;
    }
    // A double-quoted string with \" and \\ escapes, or nothing when the
    // quotes are wrong.
    std::optional<QString> string()
    {
        if (!take(u'"'))
            return std::nullopt;
        QString out;
        while (pos_ < text_.size()) {
            const QChar c = text_[pos_++];
            if (c == u'"')
                return out;
            if (c == u'\\') {
                if (pos_ >= text_.size() || (text_[pos_] != u'"' && text_[pos_] != u'\\'))
                    return std::nullopt;
                out += text_[pos_++];
            } else {
                out += c;
            }
        }
        return std::nullopt;
    }
    QString rest()
    {
        skipSpaces();
        return text_.mid(pos_).toString().trimmed();
    }

private:
    QStringView text_;
    qsizetype pos_ = 0;
};

// Checked by hand: a regular expression would cost the program a JIT
// compiler's memory for three one-line patterns.
std::optional<qint64> wholeNumber(const QString& text)
{
    const qsizetype digits = text.size() - (text.startsWith(u'-') ? 1 : 0);
    if (digits < 1 || digits > 12)
        return std::nullopt;
    qint64 value = 0;
    for (QChar c : QStringView(text).last(digits)) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return text.startsWith(u'-') ? -value : value;
}

bool asciiLetter(QChar c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_';
}

// A letter or "_", then letters, digits, "_" and the characters of `more`.
bool validName(const QString& name, QStringView more = u".-")
{
    if (name.isEmpty() || !asciiLetter(name.front()))
        return false;
    for (QChar c : name)
        if (!asciiLetter(c) && !(c >= u'0' && c <= u'9') && !more.contains(c))
            return false;
    return true;
}

class Parser {
public:
    Parser(StoredLayout& out, const StoredLayout::PictureLoader& load)
        : out_(out)
        , load_(load)
    {
    }

    void line(int number, const QString& text)
    {
        lineNo_ = number;
        const QString trimmed = text.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u'#')) {
            pending_ << text;
            pendingLine_ = pendingLine_ ? pendingLine_ : number;
            return;
        }
        const bool indented = text.startsWith(u' ') || text.startsWith(u'\t');
        if (indented) {
            if (!current_)
                fail(trimmed.section(u' ', 0, 0), QStringLiteral("an indented line belongs under a control"));
            if (!pending_.isEmpty()) {
                lineNo_ = pendingLine_;
                fail(current_->title(), QStringLiteral("a comment or blank line among a control's entries would be "
                                                       "lost on saving; put it above the control"));
            }
            controlLine(trimmed);
            return;
        }
        finishControl();
        Cursor cursor(trimmed);
        const QString kind = cursor.word();
        if ((kind == u"font" || kind == u"picture") && !out_.controls.empty())
            fail(kind, QStringLiteral("fonts and pictures are given before the first control"));
        if (kind == u"font")
            fontLine(cursor);
        else if (kind == u"picture")
            pictureLine(cursor);
        else if (kind == u"button" || kind == u"timer")
            startControl(kind == u"button" ? StoredControl::Button : StoredControl::Timer, cursor);
        else
            fail(kind, QStringLiteral("a line starts with font, picture, button or timer, or is indented under a "
                                      "control"));
    }

    void finish()
    {
        finishControl();
        out_.trailer = pending_;
    }

private:
    [[noreturn]] void fail(const QString& key, const QString& problem)
    {
        // A line that starts with no word at all is named by its start.
        throw LayoutError(out_.file, lineNo_, key.isEmpty() ? QStringLiteral("the line") : key, problem);
    }

    Lead takeLead()
    {
        Lead lead = pending_;
        pending_.clear();
        pendingLine_ = 0;
        return lead;
    }

    void expectEnd(Cursor& cursor, const QString& key)
    {
        if (!cursor.atEnd())
            fail(key, QStringLiteral("unexpected \"%1\" at the end of the line").arg(cursor.rest()));
    }

    QString tableName(Cursor& cursor, const char* what)
    {
        const QString name = cursor.word();
        if (!validName(name))
            fail(QLatin1String(what), QStringLiteral("\"%1\" is not a name (a letter, then letters, digits, "
                                                     "\"_\", \".\" or \"-\")")
                                          .arg(name));
        if (names_.count(name))
            fail(name, QStringLiteral("the name is given twice"));
        if (!cursor.take(u'='))
            fail(name, QStringLiteral("\"=\" is missing after the name"));
        return name;
    }

    // font NAME = "FACE" POINTS regular|bold set N
    void fontLine(Cursor& cursor)
    {
        StoredFont font;
        font.name = tableName(cursor, "font");
        const auto face = cursor.string();
        if (!face || face->isEmpty())
            fail(font.name, QStringLiteral("the face is a name in double quotes"));
        font.face.face = *face;
        bool ok = false;
        const QString size = cursor.word();
        font.face.points = size.toDouble(&ok);
        if (!ok || !pixelsOf(font.face.points))
            fail(font.name, QStringLiteral("size \"%1\" is not a whole number of pixels in points (a multiple of "
                                           "0.75 from 0.75 to 750)")
                                .arg(size));
        const QString weight = cursor.word();
        if (weight != u"regular" && weight != u"bold")
            fail(font.name, QStringLiteral("weight \"%1\" is neither regular nor bold").arg(weight));
        font.face.weight = weight == u"bold" ? 700 : 400;
        const QString set = cursor.word();
        const auto charset = wholeNumber(cursor.word());
        if (set != u"set" || !charset || *charset < 0 || *charset > 255)
            fail(font.name, QStringLiteral("the character set is written \"set N\", N from 0 to 255"));
        font.face.charset = int(*charset);
        expectEnd(cursor, font.name);
        font.font = makeFont(font.face);
        font.lead = takeLead();
        font.line = lineNo_;
        names_[font.name] = font.font;
        out_.fonts.push_back(font);
    }

    // picture NAME = bitmap|icon PATH
    void pictureLine(Cursor& cursor)
    {
        StoredPicture picture;
        picture.name = tableName(cursor, "picture");
        const QString kind = cursor.word();
        if (kind != u"bitmap" && kind != u"icon")
            fail(picture.name, QStringLiteral("kind \"%1\" is neither bitmap nor icon").arg(kind));
        picture.kind = kind == u"icon" ? Picture::Icon : Picture::Bitmap;
        picture.path = cursor.rest();
        if (picture.path.isEmpty())
            fail(picture.name, QStringLiteral("the picture's path is missing"));
        picture.picture = load_(picture.path, picture.kind);
        if (!picture.picture)
            fail(picture.name, QStringLiteral("cannot read a picture from %1").arg(picture.path));
        picture.lead = takeLead();
        picture.line = lineNo_;
        names_[picture.name] = picture.picture;
        out_.pictures.push_back(picture);
    }

    // button NAME, button NAME(INDEX), timer NAME
    void startControl(StoredControl::Kind kind, Cursor& cursor)
    {
        StoredControl control;
        control.kind = kind;
        control.line = lineNo_;
        control.name = cursor.word();
        if (!validName(control.name, u""))
            fail(control.name, QStringLiteral("a control's name is a letter, then letters, digits or \"_\""));
        if (cursor.take(u'(')) {
            const auto index = wholeNumber(cursor.until(u')'));
            if (!index || *index < 0 || *index > 32767 || !cursor.take(u')'))
                fail(control.name, QStringLiteral("an array index is written (N), N from 0 to 32767"));
            control.index = int(*index);
        }
        expectEnd(cursor, control.title());
        const auto [known, inserted] = arrays_.emplace(control.name, control.index >= 0);
        if (known->second != (control.index >= 0))
            fail(control.title(), QStringLiteral("the name is used both for a single control and for an array"));
        if (out_.find(control.name, control.index))
            fail(control.title(), QStringLiteral("the control is given twice"));
        control.lead = takeLead();
        out_.controls.push_back(control);
        current_ = &out_.controls.back();
    }

    void controlLine(const QString& text)
    {
        Cursor cursor(text);
        const QString key = cursor.word();
        current_->keyLines.emplace_back(key, lineNo_);
        if (cursor.take(u'='))
            entry(key, cursor.rest());
        else
            containerValue(key, cursor);
    }

    void entry(const QString& key, const QString& text)
    {
        const QString title = QStringLiteral("%1 of %2").arg(key, current_->title());
        if (current_->kind != StoredControl::Button)
            fail(title, QStringLiteral("a timer has no stored entries"));
        if (!ZorvicClick::StoredKeys().contains(key))
            fail(title, QStringLiteral("no such stored entry (entries are written in lower case)"));
        current_->bag.append(key, value(title, text));
    }

    PropertyValue value(const QString& title, const QString& text)
    {
        if (text == u"True" || text == u"False")
            return Boolean::of(text == u"True");
        if (text == u"Nothing")
            return PictureRef();
        if (text.startsWith(u'@')) {
            const auto found = names_.find(text.mid(1));
            if (found == names_.end())
                fail(title, QStringLiteral("no font or picture named \"%1\" is given above").arg(text.mid(1)));
            return found->second;
        }
        if (const auto number = wholeNumber(text)) {
            if (*number < std::numeric_limits<qint32>::min() || *number > std::numeric_limits<qint32>::max())
                fail(title, QStringLiteral("%1 does not fit a 32-bit integer").arg(text));
            return qint32(*number);
        }
        Cursor cursor(text);
        const auto string = cursor.string();
        if (!string || !cursor.atEnd())
            fail(title, QStringLiteral("%1 is not a value (a string in double quotes, a whole number, True, False, "
                                       "Nothing or @name)")
                            .arg(text));
        return *string;
    }

    void containerValue(const QString& key, Cursor& cursor)
    {
        const QString title = QStringLiteral("%1 of %2").arg(key, current_->title());
        for (const auto& [k, line] : current_->keyLines)
            if (k == key && line != lineNo_)
                fail(title, QStringLiteral("given twice"));
        const bool button = current_->kind == StoredControl::Button;
        if (button && key == u"tag") {
            const auto tag = cursor.string();
            if (!tag)
                fail(title, QStringLiteral("the tag is a string in double quotes"));
            current_->tag = *tag;
            expectEnd(cursor, title);
            return;
        }
        if (!button && key == u"enabled") {
            const QString value = cursor.word();
            if (value != u"True" && value != u"False")
                fail(title, QStringLiteral("\"%1\" is neither True nor False").arg(value));
            current_->enabled = value == u"True";
            expectEnd(cursor, title);
            return;
        }
        const QString text = cursor.word();
        const auto number = wholeNumber(text);
        expectEnd(cursor, title);
        auto needs = [&](bool ok, const QString& what) {
            if (!number || !ok)
                fail(title, QStringLiteral("\"%1\" is not %2").arg(text, what));
        };
        if (button && (key == u"left" || key == u"top" || key == u"width" || key == u"height")) {
            const bool size = key == u"width" || key == u"height";
            needs(number && *number >= (size ? 0 : -32768) && *number <= 32767 && *number % 15 == 0,
                  size ? QStringLiteral("a size in twips: a multiple of 15 (a whole pixel) from 0 to 32767")
                       : QStringLiteral("a position in twips: a multiple of 15 (a whole pixel) that fits 16 bits"));
            qint16& field = key == u"left" ? current_->left
                : key == u"top"            ? current_->top
                : key == u"width"          ? current_->width
                                           : current_->height;
            field = qint16(*number);
        } else if (button && key == u"tabindex") {
            needs(number && *number >= 0 && *number <= 32767, QStringLiteral("a tab index from 0 to 32767"));
            current_->tabIndex = int(*number);
        } else if (!button && key == u"interval") {
            needs(number && *number >= 0 && *number <= 65535, QStringLiteral("a period in milliseconds, 0 to 65535"));
            current_->interval = int(*number);
        } else {
            fail(title, button ? QStringLiteral("a button's own values are left, top, width, height, tabindex and "
                                                "tag; stored entries are written \"key = value\"")
                               : QStringLiteral("a timer's values are enabled and interval"));
        }
    }

    void finishControl()
    {
        if (!current_)
            return;
        const QStringList required = current_->kind == StoredControl::Button
            ? QStringList{QStringLiteral("left"), QStringLiteral("top"), QStringLiteral("width"),
                          QStringLiteral("height"), QStringLiteral("tabindex")}
            : QStringList{QStringLiteral("enabled"), QStringLiteral("interval")};
        for (const QString& key : required) {
            bool given = false;
            for (const auto& [k, line] : current_->keyLines)
                given = given || k == key;
            if (!given)
                throw LayoutError(out_.file, current_->line, QStringLiteral("%1 of %2").arg(key, current_->title()),
                                  QStringLiteral("missing"));
        }
        current_ = nullptr;
    }

    StoredLayout& out_;
    const StoredLayout::PictureLoader& load_;
    int lineNo_ = 0;
    Lead pending_;
    int pendingLine_ = 0;
    StoredControl* current_ = nullptr; // the last control, while its lines are read
    std::map<QString, PropertyValue> names_;
    std::map<QString, bool> arrays_; // name -> is an array
};

} // namespace

StoredLayout StoredLayout::parse(const QByteArray& text, const QString& file, const PictureLoader& load)
{
    StoredLayout layout;
    layout.file = file;
    Parser parser(layout, load);
    QList<QByteArray> lines = text.split('\n');
    if (text.endsWith('\n'))
        lines.removeLast();
    int number = 0;
    for (QByteArray bytes : lines) {
        ++number;
        if (bytes.endsWith('\r'))
            bytes.chop(1);
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString line = utf8(bytes);
        if (utf8.hasError())
            throw LayoutError(file, number, QStringLiteral("text"), QStringLiteral("the line is not UTF-8"));
        parser.line(number, line);
    }
    parser.finish();
    return layout;
}

QByteArray StoredLayout::write() const
{
    std::vector<StoredFont> fonts = this->fonts;
    std::vector<StoredPicture> pictures = this->pictures;
    std::map<const void*, QString> names;
    for (const StoredFont& font : fonts)
        names.emplace(font.font.get(), font.name);
    for (const StoredPicture& picture : pictures)
        names.emplace(picture.picture.get(), picture.name);

    // Objects the tables lack get a name of their own.
    auto nameOf = [&](const PropertyValue& value) -> QString {
        if (const FontRef* font = std::get_if<FontRef>(&value); font && *font) {
            if (!names.count(font->get())) {
                StoredFont added;
                added.name = QStringLiteral("font%1").arg(fonts.size() + 1);
                added.face = {(*font)->family(), (*font)->pixelSize() * 0.75,
                              (*font)->bold() ? 700 : 400, 0};
                added.font = *font;
                fonts.push_back(added);
                names.emplace(font->get(), added.name);
            }
            return names[font->get()];
        }
        if (const PictureRef* picture = std::get_if<PictureRef>(&value); picture && *picture) {
            if (!names.count(picture->get())) {
                StoredPicture added;
                added.name = QStringLiteral("picture%1").arg(pictures.size() + 1);
                added.kind = (*picture)->kind;
                added.path = (*picture)->source;
                added.picture = *picture;
                pictures.push_back(added);
                names.emplace(picture->get(), added.name);
            }
            return names[picture->get()];
        }
        return {};
    };
    auto valueText = [&](const PropertyValue& value) -> QString {
        return std::visit(
            [&](const auto& v) -> QString {
                using T = std::decay_t<decltype(v)>;
                if constexpr (std::is_same_v<T, Boolean>)
                    return v.value ? QStringLiteral("True") : QStringLiteral("False");
                else if constexpr (std::is_same_v<T, qint16> || std::is_same_v<T, qint32>)
                    return QString::number(v);
                else if constexpr (std::is_same_v<T, QString>)
                    return quoted(v);
                else
                    return v ? u'@' + nameOf(value) : QStringLiteral("Nothing");
            },
            value);
    };

    QStringList body;
    for (const StoredControl& control : controls) {
        body << control.lead;
        if (control.kind == StoredControl::Timer) {
            body << QStringLiteral("timer %1").arg(control.title());
            body << Indent + (control.enabled ? QStringLiteral("enabled True") : QStringLiteral("enabled False"));
            body << Indent + QStringLiteral("interval %1").arg(control.interval);
            continue;
        }
        body << QStringLiteral("button %1").arg(control.title());
        body << Indent + QStringLiteral("left %1").arg(control.left) << Indent + QStringLiteral("top %1").arg(control.top)
             << Indent + QStringLiteral("width %1").arg(control.width)
             << Indent + QStringLiteral("height %1").arg(control.height)
             << Indent + QStringLiteral("tabindex %1").arg(control.tabIndex);
        if (!control.tag.isEmpty())
            body << Indent + QStringLiteral("tag ") + quoted(control.tag);
        for (const PropertyBag::Entry& entry : control.bag.entries())
            body << Indent + entry.key + QStringLiteral(" = ") + valueText(entry.value);
    }
    body << trailer;

    // The tables in the order they were read; added ones last.
    std::vector<std::pair<int, QStringList>> table;
    for (const StoredFont& font : fonts)
        table.emplace_back(font.line ? font.line : INT_MAX,
                           font.lead
                               + QStringList{QStringLiteral("font %1 = %2 %3 %4 set %5")
                                                 .arg(font.name, quoted(font.face.face), pointsText(font.face.points),
                                                      font.face.weight >= 600 ? QStringLiteral("bold")
                                                                              : QStringLiteral("regular"))
                                                 .arg(font.face.charset)});
    for (const StoredPicture& picture : pictures)
        table.emplace_back(picture.line ? picture.line : INT_MAX,
                           picture.lead
                               + QStringList{QStringLiteral("picture %1 = %2 %3")
                                                 .arg(picture.name,
                                                      picture.kind == Picture::Icon ? QStringLiteral("icon")
                                                                                    : QStringLiteral("bitmap"),
                                                      picture.path)});
    std::stable_sort(table.begin(), table.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QStringList head;
    for (const auto& entry : table)
        head << entry.second;
    QByteArray out;
    for (const QString& line : head + body)
        out += line.toUtf8() + '\n';
    return out;
}

StoredLayout readLayout(const QString& path)
{
    QFile file(path);
    const QString name = QFileInfo(path).fileName();
    if (!file.open(QIODevice::ReadOnly))
        throw LayoutError(name, 0, QStringLiteral("file"), QStringLiteral("cannot be read: %1").arg(file.errorString()));
    return StoredLayout::parse(file.readAll(), name);
}

} // namespace kelvo
