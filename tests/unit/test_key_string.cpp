#include "platform/KeyString.h"

#include <gtest/gtest.h>

#include <string>

using namespace kelvo;

namespace {

KeyAction ch(char32_t c, unsigned modifiers = 0)
{
    return KeyAction{c, NamedKey::None, modifiers};
}

KeyAction key(NamedKey k, unsigned modifiers = 0)
{
    return KeyAction{0, k, modifiers};
}

std::string text(const QString& s)
{
    return s.toStdString();
}

// Parses a string that must be accepted and compares its actions; the
// canonical text of both sides is shown on a mismatch.
void expectActions(const QString& keys, const std::vector<KeyAction>& expected)
{
    SCOPED_TRACE("key string: " + text(keys));
    const ParsedKeys parsed = parseKeyString(keys);
    ASSERT_TRUE(parsed.ok()) << text(parsed.error->message());
    EXPECT_TRUE(parsed.actions == expected)
        << "got      " << text(formatKeyActions(parsed.actions)) << "\n"
        << "expected " << text(formatKeyActions(expected));
}

// A string that must be refused whole, at the given 1-based position, with a
// reason that contains the given words.
void expectError(const QString& keys, qsizetype position, const QString& reasonPart)
{
    SCOPED_TRACE("key string: " + text(keys));
    const ParsedKeys parsed = parseKeyString(keys);
    ASSERT_FALSE(parsed.ok()) << "accepted as " << text(formatKeyActions(parsed.actions));
    EXPECT_TRUE(parsed.actions.empty());
    EXPECT_EQ(parsed.error->position, position) << text(parsed.error->message());
    EXPECT_TRUE(parsed.error->reason.contains(reasonPart))
        << "reason: " << text(parsed.error->reason) << "\nwanted: " << text(reasonPart);
}

} // namespace

TEST(KeyString, EmptyStringIsAcceptedWithNoKeys)
{
    const ParsedKeys parsed = parseKeyString(QString());
    EXPECT_TRUE(parsed.ok());
    EXPECT_TRUE(parsed.actions.empty());
}

TEST(KeyString, EveryCharacterTypesItselfIncludingUnicode)
{
    expectActions("aB1@ ", {ch('a'), ch('B'), ch('1'), ch('@'), ch(' ')});
    expectActions("\t\n", {ch('\t'), ch('\n')});
    expectActions(QStringLiteral("é€ß"), {ch(U'é'), ch(U'€'), ch(U'ß')});
    // A surrogate pair is one character, not two halves.
    expectActions(QStringLiteral("a😀b"), {ch('a'), ch(U'😀'), ch('b')});
    expectActions(QStringLiteral("+𝄞"), {ch(U'𝄞', ModShift)});
}

TEST(KeyString, UnpairedSurrogatesAreRefused)
{
    QString lowFirst = QStringLiteral("ab");
    lowFirst.insert(1, QChar(0xDC00));
    expectError(lowFirst, 2, "surrogate");

    QString highAtEnd = QStringLiteral("ab");
    highAtEnd.append(QChar(0xD83D));
    expectError(highAtEnd, 3, "surrogate");

    QString inBraces = QStringLiteral("{");
    inBraces.append(QChar(0xD83D)).append(QStringLiteral("}"));
    expectError(inBraces, 2, "surrogate");
}

TEST(KeyString, ModifiersApplyToTheNextKeyAndAccumulate)
{
    expectActions("+a", {ch('a', ModShift)});
    expectActions("^a", {ch('a', ModCtrl)});
    expectActions("%a", {ch('a', ModAlt)});
    expectActions("+ab", {ch('a', ModShift), ch('b')});
    expectActions("%^+a", {ch('a', ModShift | ModCtrl | ModAlt)});
    expectActions("++^+a", {ch('a', ModShift | ModCtrl)});
    expectActions("^~", {key(NamedKey::Enter, ModCtrl)});
    expectActions("%{F4}", {key(NamedKey::F4, ModAlt)});
    expectActions("^{+}", {ch('+', ModCtrl)});
    expectActions("+{LEFT 3}x", {key(NamedKey::Left, ModShift), key(NamedKey::Left, ModShift),
                                 key(NamedKey::Left, ModShift), ch('x')});
    // A zero count still uses the modifier up: it must not leak onto the next key.
    expectActions("+{a 0}b", {ch('b')});
}

TEST(KeyString, GroupsSpreadTheirModifiersOverEveryKeyInside)
{
    expectActions("+(ab)c", {ch('a', ModShift), ch('b', ModShift), ch('c')});
    expectActions("(ab)", {ch('a'), ch('b')});
    expectActions("((a))b", {ch('a'), ch('b')});
    expectActions("^(a+b~)", {ch('a', ModCtrl), ch('b', ModCtrl | ModShift), key(NamedKey::Enter, ModCtrl)});
    expectActions("+(a^(b%(c))d)e",
                  {ch('a', ModShift), ch('b', ModShift | ModCtrl),
                   ch('c', ModShift | ModCtrl | ModAlt), ch('d', ModShift), ch('e')});
    expectActions("%(+(a)b)", {ch('a', ModAlt | ModShift), ch('b', ModAlt)});
    expectActions("+({TAB 2})", {key(NamedKey::Tab, ModShift), key(NamedKey::Tab, ModShift)});
    expectActions("^({a 0})", {});
}

TEST(KeyString, NamedKeysAliasesAndCase)
{
    expectActions("~{ENTER}", {key(NamedKey::Enter), key(NamedKey::Enter)});
    expectActions("{BACKSPACE}{BS}{BKSP}{bksp}",
                  {key(NamedKey::Backspace), key(NamedKey::Backspace),
                   key(NamedKey::Backspace), key(NamedKey::Backspace)});
    expectActions("{DEL}{delete}{INSERT}{Ins}",
                  {key(NamedKey::Delete), key(NamedKey::Delete), key(NamedKey::Insert), key(NamedKey::Insert)});
    expectActions("{esc}{PgDn}{pgup}{PRTSC}{ScrollLock}{capslock}{NUMLOCK}{break}{help}",
                  {key(NamedKey::Escape), key(NamedKey::PageDown), key(NamedKey::PageUp),
                   key(NamedKey::PrintScreen), key(NamedKey::ScrollLock), key(NamedKey::CapsLock),
                   key(NamedKey::NumLock), key(NamedKey::Break), key(NamedKey::Help)});
    expectActions("{UP}{down}{Left}{RIGHT}{home}{END}{tab}",
                  {key(NamedKey::Up), key(NamedKey::Down), key(NamedKey::Left), key(NamedKey::Right),
                   key(NamedKey::Home), key(NamedKey::End), key(NamedKey::Tab)});
    expectActions("{F1}{f9}{F10}{F16}", {key(NamedKey::F1), key(NamedKey::F9), key(NamedKey::F10), key(NamedKey::F16)});
}

TEST(KeyString, CanonicalNamesOfEveryNamedKey)
{
    const std::vector<std::pair<NamedKey, const char*>> names = {
        {NamedKey::Backspace, "BACKSPACE"}, {NamedKey::Break, "BREAK"}, {NamedKey::CapsLock, "CAPSLOCK"},
        {NamedKey::Delete, "DEL"}, {NamedKey::Down, "DOWN"}, {NamedKey::End, "END"},
        {NamedKey::Enter, "ENTER"}, {NamedKey::Escape, "ESC"}, {NamedKey::Help, "HELP"},
        {NamedKey::Home, "HOME"}, {NamedKey::Insert, "INSERT"}, {NamedKey::Left, "LEFT"},
        {NamedKey::NumLock, "NUMLOCK"}, {NamedKey::PageDown, "PGDN"}, {NamedKey::PageUp, "PGUP"},
        {NamedKey::PrintScreen, "PRTSC"}, {NamedKey::Right, "RIGHT"}, {NamedKey::ScrollLock, "SCROLLLOCK"},
        {NamedKey::Tab, "TAB"}, {NamedKey::Up, "UP"}, {NamedKey::F1, "F1"}, {NamedKey::F2, "F2"},
        {NamedKey::F3, "F3"}, {NamedKey::F4, "F4"}, {NamedKey::F5, "F5"}, {NamedKey::F6, "F6"},
        {NamedKey::F7, "F7"}, {NamedKey::F8, "F8"}, {NamedKey::F9, "F9"}, {NamedKey::F10, "F10"},
        {NamedKey::F11, "F11"}, {NamedKey::F12, "F12"}, {NamedKey::F13, "F13"}, {NamedKey::F14, "F14"},
        {NamedKey::F15, "F15"}, {NamedKey::F16, "F16"},
    };
    ASSERT_EQ(names.size(), std::size_t(NamedKey::F16));
    for (const auto& [k, name] : names) {
        EXPECT_EQ(text(namedKeyName(k)), name);
        // Every canonical name is also read back as its key.
        expectActions(u'{' + QString::fromLatin1(name) + u'}', {key(k)});
    }
    EXPECT_TRUE(namedKeyName(NamedKey::None).isEmpty());
}

TEST(KeyString, CountsRepeatTheKey)
{
    expectActions("{TAB 3}", {key(NamedKey::Tab), key(NamedKey::Tab), key(NamedKey::Tab)});
    expectActions("{a 3}", {ch('a'), ch('a'), ch('a')});
    expectActions("{a 007}", std::vector<KeyAction>(7, ch('a')));
    expectActions("x{LEFT 0}y", {ch('x'), ch('y')});
    expectActions("{F12 1000}", std::vector<KeyAction>(1000, key(NamedKey::F12)));
    // The first character inside the braces is the key even when it is a space or '}'.
    expectActions("{ }", {ch(' ')});
    expectActions("{  2}", {ch(' '), ch(' ')});
    expectActions("{} 2}", {ch('}'), ch('}')});
    expectActions(QStringLiteral("{😀 2}"), {ch(U'😀'), ch(U'😀')});
}

TEST(KeyString, SignsInBracesTypeThemselves)
{
    expectActions("{+}{^}{%}{~}{(}{)}{{}{}}",
                  {ch('+'), ch('^'), ch('%'), ch('~'), ch('('), ch(')'), ch('{'), ch('}')});
    expectActions("+{+}", {ch('+', ModShift)});
    expectActions("{}}a", {ch('}'), ch('a')});
    expectActions("({)})", {ch(')')});
    expectActions("{a}{Z}{1}", {ch('a'), ch('Z'), ch('1')});
}

TEST(KeyString, BraceErrors)
{
    expectError("{", 1, "'{' is not closed");
    expectError("a{TAB", 2, "'{' is not closed");
    expectError("{a", 1, "'{' is not closed");
    expectError("{}}{", 4, "'{' is not closed");
    expectError("{}", 1, "empty braces");
    expectError("a{}b", 2, "empty braces");
    expectError("a}", 2, "'}' closes no brace");
    expectError("{{}}", 4, "'}' closes no brace");
}

TEST(KeyString, UnknownKeyNamesAreNamed)
{
    expectError("ab{NOPE}", 4, "unknown key name \"NOPE\"");
    expectError("{F17}", 2, "\"F17\"");
    expectError("{F0}", 2, "\"F0\"");
    expectError("{TAB{ESC}", 2, "unknown key name");
    expectError("{ab 2}", 2, "\"ab\"");
    // A huge name is shortened in the message rather than copied whole.
    const ParsedKeys parsed = parseKeyString(u'{' + QString(5000, u'X') + u'}');
    ASSERT_FALSE(parsed.ok());
    EXPECT_LT(parsed.error->reason.size(), 100);
}

TEST(KeyString, BadCounts)
{
    expectError("{TAB x}", 6, "bad count");
    expectError("{TAB 3x}", 7, "bad count \"3x\"");
    expectError("{TAB -1}", 6, "bad count");
    expectError("{TAB  3}", 6, "bad count");
    expectError("{TAB }", 6, "bad count");
    expectError("{TAB 1001}", 6, "at most 1000");
    expectError("{TAB 99999999999999999999999}", 6, "at most 1000");
    expectError(QStringLiteral("{a ３}"), 4, "bad count");   // a full-width digit is not 0-9
}

TEST(KeyString, ParenthesisErrors)
{
    expectError("(ab", 1, "'(' is not closed");
    expectError("+(a", 2, "'(' is not closed");
    expectError("a((b)", 2, "'(' is not closed");
    expectError("a)", 2, "')' closes no group");
    expectError("(a))", 4, "')' closes no group");
    expectError("()", 1, "empty group");
    expectError("+()", 2, "empty group");
    expectError("a(())", 3, "empty group");
}

TEST(KeyString, ModifiersThatNameNoKey)
{
    expectError("+", 1, "names no key");
    expectError("^%", 1, "\"^%\" at the end names no key");
    expectError("a+", 2, "names no key");
    expectError("{TAB}^", 6, "names no key");
    expectError("+(a+)", 4, "\"+\" names no key before ')'");
    expectError("(a^%)", 3, "\"^%\" names no key");
    expectError("(+)", 2, "names no key");
}

TEST(KeyString, ErrorsRefuseTheWholeStringAndReadWell)
{
    const ParsedKeys parsed = parseKeyString("abc{TAB}def{NOPE}");
    ASSERT_FALSE(parsed.ok());
    EXPECT_TRUE(parsed.actions.empty());
    EXPECT_EQ(text(parsed.error->message()), "at position 13: unknown key name \"NOPE\"");
    // Positions count UTF-16 units, as QString does.
    expectError(QStringLiteral("😀}"), 3, "'}'");
}

TEST(KeyString, TotalNumberOfKeysIsLimited)
{
    QString full;
    for (std::size_t i = 0; i < MaxKeyActions / MaxKeyRepeat; ++i)
        full += QStringLiteral("{a %1}").arg(MaxKeyRepeat);
    const ParsedKeys atLimit = parseKeyString(full);
    ASSERT_TRUE(atLimit.ok()) << text(atLimit.error->message());
    EXPECT_EQ(atLimit.actions.size(), MaxKeyActions);

    expectError(full + u'b', full.size() + 1, "more than 100000 keys");
    expectError(full + QStringLiteral("{a 0}{a 1}"), full.size() + 6, "more than 100000 keys");
    expectError(QString(qsizetype(MaxKeyActions) + 1, u'x'), qsizetype(MaxKeyActions) + 1, "more than");
}

TEST(KeyString, FormatWritesCanonicalText)
{
    const auto formatted = [](const char* keys) {
        const ParsedKeys parsed = parseKeyString(QString::fromUtf8(keys));
        EXPECT_TRUE(parsed.ok()) << keys;
        return text(formatKeyActions(parsed.actions));
    };
    EXPECT_EQ(formatted("%^+a"), "+^%a");
    EXPECT_EQ(formatted("+(ab)"), "+a+b");
    EXPECT_EQ(formatted("~"), "{ENTER}");
    EXPECT_EQ(formatted("{bs}{delete}{ins}{f3}"), "{BACKSPACE}{DEL}{INSERT}{F3}");
    EXPECT_EQ(formatted("{a 3}"), "aaa");
    EXPECT_EQ(formatted("{+}{^}{%}{~}{(}{)}{{}{}}"), "{+}{^}{%}{~}{(}{)}{{}{}}");
    EXPECT_EQ(formatted("é😀 "), "é😀 ");
    EXPECT_EQ(formatted(""), "");
    EXPECT_EQ(text(formatKeyActions({ch('}', ModShift | ModAlt)})), "+%{}}");
}

TEST(KeyString, ParsingTheFormattedTextGivesTheSameKeys)
{
    const char* inputs[] = {
        "", "hello, world", "+a^b%c", "+^%x", "+(ab^(c%d))e", "~+~", "{TAB 3}{left 2}{BS}",
        "{+}{^}{%}{~}{(}{)}{{}{}}", "+{}}%{{}", "{} 3}{  2}", "é€😀𝄞", "^({F1}{F16}{prtsc})",
        "a\tb\nc", "%{+ 2}", "{a 0}", "[]<>!\"#$&'*,-./:;=?@\\_`|",
    };
    for (const char* input : inputs) {
        SCOPED_TRACE(input);
        const ParsedKeys first = parseKeyString(QString::fromUtf8(input));
        ASSERT_TRUE(first.ok()) << text(first.error->message());
        const QString canonical = formatKeyActions(first.actions);
        const ParsedKeys again = parseKeyString(canonical);
        ASSERT_TRUE(again.ok()) << text(canonical) << ": " << text(again.error->message());
        EXPECT_TRUE(again.actions == first.actions) << text(canonical);
    }

    // Every named key and every awkward character under every modifier mix.
    std::vector<KeyAction> all;
    const char32_t characters[] = {U'+', U'^', U'%', U'~', U'(', U')', U'{', U'}', U' ', U'a', U'é', U'😀'};
    for (unsigned modifiers = 0; modifiers <= (ModShift | ModCtrl | ModAlt); ++modifiers) {
        for (auto k = std::size_t(NamedKey::Backspace); k <= std::size_t(NamedKey::F16); ++k)
            all.push_back(key(NamedKey(k), modifiers));
        for (char32_t c : characters)
            all.push_back(ch(c, modifiers));
    }
    const ParsedKeys back = parseKeyString(formatKeyActions(all));
    ASSERT_TRUE(back.ok()) << text(back.error->message());
    EXPECT_TRUE(back.actions == all);
}
