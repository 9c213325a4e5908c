// Feeds arbitrary bytes to the key-string parser, once decoded as UTF-8 and
// once taken as raw UTF-16 (which keeps unpaired surrogates that UTF-8
// decoding would have replaced), and checks what the parser promises.

#include "platform/KeyString.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>
#include <cstring>

using namespace kelvo;

namespace {

bool hasLoneSurrogate(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return true;
    }
    return false;
}

void checkAction(const KeyAction& action)
{
    FUZZ_CHECK((action.modifiers & ~unsigned(ModShift | ModCtrl | ModAlt)) == 0);
    if (action.key != NamedKey::None) {
        FUZZ_CHECK(action.key <= NamedKey::F16);
        FUZZ_CHECK(action.character == 0);
        FUZZ_CHECK(!namedKeyName(action.key).isEmpty());
    } else {
        // A sender can only type whole Unicode scalar values.
        FUZZ_CHECK(action.character <= 0x10FFFF);
        FUZZ_CHECK(action.character < 0xD800 || action.character > 0xDFFF);
    }
}

void checkParse(const QString& keys)
{
    const ParsedKeys parsed = parseKeyString(keys);
    if (!parsed.ok()) {
        const KeyStringError& error = *parsed.error;
        // Refused whole, at a place inside the string, with a reason of
        // bounded size however long the string.
        FUZZ_CHECK(parsed.actions.empty());
        FUZZ_CHECK(error.position >= 1 && error.position <= keys.size());
        FUZZ_CHECK(!error.reason.isEmpty());
        FUZZ_CHECK(error.reason.size() <= 200);
        // Quoting the string never cuts a surrogate pair in two.
        FUZZ_CHECK(hasLoneSurrogate(keys) || !hasLoneSurrogate(error.reason));
        return;
    }

    FUZZ_CHECK(parsed.actions.size() <= MaxKeyActions);
    for (const KeyAction& action : parsed.actions)
        checkAction(action);

    // The canonical text names the same keystrokes, and is its own canonical text.
    const QString canonical = formatKeyActions(parsed.actions);
    const ParsedKeys again = parseKeyString(canonical);
    FUZZ_CHECK(again.ok());
    FUZZ_CHECK(again.actions == parsed.actions);
    FUZZ_CHECK(formatKeyActions(again.actions) == canonical);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    checkParse(QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)));

    QString utf16(qsizetype(size / 2), Qt::Uninitialized);
    std::memcpy(utf16.data(), data, size / 2 * 2);
    checkParse(utf16);
    return 0;
}
