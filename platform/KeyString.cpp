#include "platform/KeyString.h"

#include <array>
#include <iterator>

namespace kelvo {

namespace {

// Canonical brace names, indexed by NamedKey (None has no name).
constexpr std::array<const char*, 37> kCanonicalNames = {
    "",          "BACKSPACE", "BREAK", "CAPSLOCK", "DEL",   "DOWN",       "END",
    "ENTER",     "ESC",       "HELP",  "HOME",     "INSERT", "LEFT",      "NUMLOCK",
    "PGDN",      "PGUP",      "PRTSC", "RIGHT",    "SCROLLLOCK", "TAB",   "UP",
    "F1",  "F2",  "F3",  "F4",  "F5",  "F6",  "F7",  "F8",
    "F9",  "F10", "F11", "F12", "F13", "F14", "F15", "F16",
};
static_assert(kCanonicalNames.size() == std::size_t(NamedKey::F16) + 1,
              "every named key needs a canonical name");

struct Alias {
    const char* name;
    NamedKey key;
};

// Other spellings accepted in braces; they are never written back.
constexpr Alias kAliases[] = {
    {"BS", NamedKey::Backspace},
    {"BKSP", NamedKey::Backspace},
    {"DELETE", NamedKey::Delete},
    {"INS", NamedKey::Insert},
};

// ASCII-only case folding: key names are ASCII, and Unicode folding would let
// look-alikes such as the Kelvin sign spell "BKSP".
bool sameName(QStringView text, const char* name)
{
    qsizetype i = 0;
    for (; name[i] != '\0'; ++i) {
        if (i >= text.size())
            return false;
        char16_t c = text[i].unicode();
        if (c >= u'a' && c <= u'z')
            c = char16_t(c - u'a' + u'A');
        if (c != char16_t(name[i]))
            return false;
    }
    return i == text.size();
}

NamedKey lookupName(QStringView name)
{
    for (std::size_t k = 1; k < kCanonicalNames.size(); ++k) {
        if (sameName(name, kCanonicalNames[k]))
            return NamedKey(k);
    }
    for (const Alias& alias : kAliases) {
        if (sameName(name, alias.name))
            return alias.key;
    }
    return NamedKey::None;
}

// The user's text quoted for a reason, cut short so a hostile string cannot
// make the message itself enormous.
QString quoted(QStringView text)
{
    constexpr qsizetype kMaxShown = 32;
    if (text.size() <= kMaxShown)
        return u'"' + text.toString() + u'"';
    // Never cut a surrogate pair in two.
    const qsizetype shown = text[kMaxShown - 1].isHighSurrogate() ? kMaxShown - 1 : kMaxShown;
    return u'"' + text.first(shown).toString() + QStringLiteral("...\"");
}

bool isSpecialSign(char32_t c)
{
    switch (c) {
    case U'+': case U'^': case U'%': case U'~':
    case U'(': case U')': case U'{': case U'}':
        return true;
    default:
        return false;
    }
}

class KeyStringParser {
public:
    explicit KeyStringParser(QStringView text) : text_(text) {}

    ParsedKeys parse()
    {
        qsizetype i = 0;
        while (i < text_.size() && !error_) {
            switch (text_[i].unicode()) {
            case u'+': addModifier(i, ModShift); ++i; break;
            case u'^': addModifier(i, ModCtrl); ++i; break;
            case u'%': addModifier(i, ModAlt); ++i; break;
            case u'(': openGroup(i); ++i; break;
            case u')': closeGroup(i); ++i; break;
            case u'~': addKey(KeyAction{0, NamedKey::Enter, 0}, 1, i); ++i; break;
            case u'{': i = braces(i); break;
            case u'}':
                fail(i, QStringLiteral("'}' closes no brace (write {}} to type it)"));
                break;
            default: i = character(i); break;
            }
        }
        if (!error_)
            finish();

        ParsedKeys result;
        if (error_)
            result.error = std::move(error_);
        else
            result.actions = std::move(actions_);
        return result;
    }

private:
    struct Group {
        qsizetype open;      // index of its '('
        unsigned modifiers;  // held around every key inside, outer groups' included
        bool empty;          // nothing between the parentheses so far
    };

    void fail(qsizetype index, QString reason)
    {
        error_ = KeyStringError{index + 1, std::move(reason)};
    }

    unsigned groupModifiers() const { return groups_.empty() ? 0 : groups_.back().modifiers; }

    // The signs typed so far that still wait for their key, e.g. "^%".
    QStringView pendingSigns(qsizetype end) const
    {
        return text_.sliced(pendingAt_, end - pendingAt_);
    }

    void addModifier(qsizetype i, unsigned modifier)
    {
        if (pending_ == 0)
            pendingAt_ = i;
        pending_ |= modifier;
    }

    void openGroup(qsizetype i)
    {
        if (!groups_.empty())
            groups_.back().empty = false;
        groups_.push_back(Group{i, groupModifiers() | pending_, true});
        pending_ = 0;
    }

    void closeGroup(qsizetype i)
    {
        if (groups_.empty())
            return fail(i, QStringLiteral("')' closes no group (write {)} to type it)"));
        if (pending_ != 0)
            return fail(pendingAt_, QStringLiteral("modifier %1 names no key before ')'")
                                        .arg(quoted(pendingSigns(i))));
        if (groups_.back().empty)
            return fail(groups_.back().open, QStringLiteral("empty group '()' names no key"));
        groups_.pop_back();
    }

    // Appends count copies of the key with the modifiers in force, which the
    // key then uses up.
    void addKey(KeyAction action, int count, qsizetype at)
    {
        action.modifiers = groupModifiers() | pending_;
        pending_ = 0;
        if (!groups_.empty())
            groups_.back().empty = false;
        if (std::size_t(count) > MaxKeyActions - actions_.size())
            return fail(at, QStringLiteral("more than %1 keys in all").arg(MaxKeyActions));
        actions_.insert(actions_.end(), std::size_t(count), action);
    }

    // Length in UTF-16 units of the character at i (2 for a surrogate pair),
    // or 0 after reporting a lone surrogate, which is no character at all.
    qsizetype readCharacter(qsizetype i, char32_t& out)
    {
        const QChar c = text_[i];
        if (!c.isSurrogate()) {
            out = c.unicode();
            return 1;
        }
        if (c.isHighSurrogate() && i + 1 < text_.size() && text_[i + 1].isLowSurrogate()) {
            out = QChar::surrogateToUcs4(c, text_[i + 1]);
            return 2;
        }
        fail(i, QStringLiteral("unpaired UTF-16 surrogate is no character"));
        return 0;
    }

    qsizetype character(qsizetype i)
    {
        char32_t c = 0;
        const qsizetype length = readCharacter(i, c);
        if (length > 0)
            addKey(KeyAction{c, NamedKey::None, 0}, 1, i);
        return i + length;
    }

    // Parses "{...}" starting at the '{' at open; returns the index after it.
    qsizetype braces(qsizetype open)
    {
        const qsizetype start = open + 1;
        if (start >= text_.size()) {
            fail(open, QStringLiteral("'{' is not closed"));
            return start;
        }
        char32_t first = 0;
        const qsizetype firstLength = readCharacter(start, first);
        if (firstLength == 0)
            return start;
        // "{}}" and "{} 3}" name the brace sign; any other "{}" is empty.
        if (first == U'}') {
            const qsizetype next = start + 1;
            if (next >= text_.size() || (text_[next] != u'}' && text_[next] != u' ')) {
                fail(open, QStringLiteral("empty braces '{}' name no key"));
                return next;
            }
        }
        const qsizetype close = text_.indexOf(u'}', start + firstLength);
        if (close < 0) {
            fail(open, QStringLiteral("'{' is not closed"));
            return text_.size();
        }

        // The first character always belongs to the name, so "{ 3}" repeats a space.
        const QStringView content = text_.sliced(start, close - start);
        const qsizetype space = content.indexOf(u' ', firstLength);
        const QStringView name = space < 0 ? content : content.first(space);

        KeyAction action;
        if (name.size() == firstLength) {
            action.character = first;
        } else {
            action.key = lookupName(name);
            if (action.key == NamedKey::None) {
                fail(start, QStringLiteral("unknown key name %1").arg(quoted(name)));
                return close + 1;
            }
        }

        int count = 1;
        if (space >= 0 && !parseCount(content.sliced(space + 1), start + space + 1, count))
            return close + 1;
        addKey(action, count, open);
        return close + 1;
    }

    // Reads the decimal repeat count of "{NAME n}"; digits starts at index at.
    bool parseCount(QStringView digits, qsizetype at, int& count)
    {
        if (digits.isEmpty()) {
            fail(at, QStringLiteral("bad count: a number must follow the space"));
            return false;
        }
        int value = 0;
        for (qsizetype k = 0; k < digits.size(); ++k) {
            const char16_t c = digits[k].unicode();
            if (c < u'0' || c > u'9') {
                fail(at + k, QStringLiteral("bad count %1: only the digits 0-9 may follow the space")
                                 .arg(quoted(digits)));
                return false;
            }
            // Saturate past the limit so a long run of digits cannot overflow.
            if (value <= MaxKeyRepeat)
                value = value * 10 + (c - u'0');
        }
        if (value > MaxKeyRepeat) {
            fail(at, QStringLiteral("bad count %1: at most %2 repeats")
                         .arg(quoted(digits)).arg(MaxKeyRepeat));
            return false;
        }
        count = value;
        return true;
    }

    void finish()
    {
        if (pending_ != 0)
            return fail(pendingAt_, QStringLiteral("modifier %1 at the end names no key")
                                        .arg(quoted(pendingSigns(text_.size()))));
        if (!groups_.empty())
            fail(groups_.back().open, QStringLiteral("'(' is not closed"));
    }

    QStringView text_;
    std::vector<KeyAction> actions_;
    std::optional<KeyStringError> error_;
    std::vector<Group> groups_;   // the open groups, innermost last
    unsigned pending_ = 0;        // modifier signs waiting for their key
    qsizetype pendingAt_ = 0;     // index of the first of those signs
};

} // namespace

QString KeyStringError::message() const
{
    return QStringLiteral("at position ") + QString::number(position) + QStringLiteral(": ")
        + reason;
}

QString KeyStringError::refusal(const QString& keys) const
{
    return QStringLiteral("key string \"%1\" refused %2").arg(keys, message());
}

ParsedKeys parseKeyString(const QString& keys)
{
    return KeyStringParser(keys).parse();
}

QString formatKeyActions(const std::vector<KeyAction>& actions)
{
    QString out;
    out.reserve(qsizetype(actions.size()) * 2);
    for (const KeyAction& action : actions) {
        if (action.modifiers & ModShift)
            out += u'+';
        if (action.modifiers & ModCtrl)
            out += u'^';
        if (action.modifiers & ModAlt)
            out += u'%';
        if (action.key != NamedKey::None) {
            out += u'{' + namedKeyName(action.key) + u'}';
            continue;
        }
        const char32_t c = action.character;
        const bool braced = isSpecialSign(c);
        if (braced)
            out += u'{';
        if (QChar::requiresSurrogates(c)) {
            out += QChar(QChar::highSurrogate(c));
            out += QChar(QChar::lowSurrogate(c));
        } else {
            out += QChar(char16_t(c));
        }
        if (braced)
            out += u'}';
    }
    return out;
}

QString namedKeyName(NamedKey key)
{
    const auto index = std::size_t(key);
    if (index >= kCanonicalNames.size())
        return {};
    return QLatin1String(kCanonicalNames[index]);
}

} // namespace kelvo
