#include "platform/xkb/SpareKeymap.h"

#include <algorithm>
#include <cstdlib>

namespace kelvo {

namespace {

// The name our keymaps give their symbols section; a user's keymap is never
// called so, and compiling and writing a keymap out again keeps the name
// (spaces in it would become underscores).
constexpr const char* OwnSectionName = "kelvo_spare_keys";

// Where the section that starts with `header` ends: the offset of the "};"
// that closes it, or npos.
std::string::size_type sectionEnd(const std::string& text, const char* header)
{
    const auto start = text.find(header);
    if (start == std::string::npos)
        return start;
    const auto end = text.find("\n};", start);
    return end == std::string::npos ? end : end + 1;
}

std::string symbolName(xkb_keysym_t sym)
{
    char name[64];
    return xkb_keysym_get_name(sym, name, sizeof name) > 0 ? name : "NoSymbol";
}

} // namespace

SpareKeymap::SpareKeymap(xkb_context* context)
    : context_(xkb_context_ref(context))
{
}

SpareKeymap::~SpareKeymap()
{
    index_.reset();
    baseIndex_.reset();
    xkb_keymap_unref(base_);
    xkb_context_unref(context_);
}

bool SpareKeymap::isOurs(const std::string& text)
{
    return text.find(std::string("xkb_symbols \"") + OwnSectionName + '"') != std::string::npos;
}

QString SpareKeymap::setBase(const std::string& text)
{
    xkb_keymap* keymap = xkb_keymap_new_from_string(context_, text.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                                    XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!keymap)
        return QStringLiteral("the keyboard layout could not be read");
    const QString error = setBase(keymap);
    xkb_keymap_unref(keymap);
    return error;
}

QString SpareKeymap::setBase(xkb_keymap* keymap)
{
    xkb_keymap_unref(base_);
    base_ = xkb_keymap_ref(keymap);
    baseIndex_ = std::make_unique<KeymapIndex>(base_);

    // The keys free in the new layout, those X11 programs see first; a spare
    // key keeps its character if its keycode is still free and the layout
    // does not have the character itself.
    std::vector<Spare> kept;
    for (const xkb_keycode_t code : baseIndex_->unusedKeycodes()) {
        Spare spare{code};
        const auto old = std::find_if(spares_.begin(), spares_.end(), [code](const Spare& s) { return s.code == code; });
        if (old != spares_.end() && old->sym != XKB_KEY_NoSymbol && !baseIndex_->keysym(old->sym))
            spare = *old;
        kept.push_back(spare);
    }
    spares_ = std::move(kept);
    return rebuild();
}

bool SpareKeymap::has(xkb_keysym_t sym) const
{
    const xkb_keysym_t lower = xkb_keysym_to_lower(sym);
    return baseIndex_->keysym(sym)
        || std::any_of(spares_.begin(), spares_.end(), [lower](const Spare& s) { return s.sym == lower; });
}

SpareKeymap::Reservation SpareKeymap::reserve(const std::vector<xkb_keysym_t>& syms, Clock::time_point now)
{
    Reservation result;
    if (!baseIndex_) {
        result.error = QStringLiteral("no keyboard layout is known yet");
        return result;
    }
    std::vector<xkb_keysym_t> needed;
    for (const xkb_keysym_t sym : syms) {
        const xkb_keysym_t lower = xkb_keysym_to_lower(sym);
        if (sym != XKB_KEY_NoSymbol && !has(sym) && std::find(needed.begin(), needed.end(), lower) == needed.end())
            needed.push_back(lower);
    }
    if (needed.empty())
        return result;

    // Free keys first, then those left alone longest; a key whose character
    // this string types is kept.
    std::vector<Spare*> candidates;
    for (Spare& spare : spares_) {
        const bool wanted = std::any_of(syms.begin(), syms.end(),
                                        [&](xkb_keysym_t s) { return xkb_keysym_to_lower(s) == spare.sym; });
        if (spare.sym == XKB_KEY_NoSymbol || !wanted)
            candidates.push_back(&spare);
    }
    std::stable_sort(candidates.begin(), candidates.end(), [](const Spare* a, const Spare* b) {
        const bool aFree = a->sym == XKB_KEY_NoSymbol, bFree = b->sym == XKB_KEY_NoSymbol;
        return aFree != bFree ? aFree : (!aFree && a->lastUsed < b->lastUsed);
    });
    if (candidates.size() < needed.size()) {
        result.error = QStringLiteral("%1 characters are not on the keyboard layout and only %2 spare keys are there for them")
                           .arg(needed.size())
                           .arg(candidates.size());
        return result;
    }
    for (size_t i = 0; i < needed.size(); ++i) {
        const Spare& spare = *candidates[i];
        if (spare.sym != XKB_KEY_NoSymbol && now - spare.lastUsed < Grace) {
            const Clock::duration left = Grace - (now - spare.lastUsed);
            result.wait = std::max(result.wait.value_or(Clock::duration::zero()), left);
        }
    }
    if (result.wait)
        return result;

    const std::vector<Spare> before = spares_;
    for (size_t i = 0; i < needed.size(); ++i) {
        candidates[i]->sym = needed[i];
        candidates[i]->lastUsed = now;
    }
    result.error = rebuild();
    if (!result.error.isEmpty()) {
        spares_ = before;
        rebuild();
        return result;
    }
    result.changed = true;
    return result;
}

void SpareKeymap::pressed(xkb_keycode_t code, Clock::time_point now)
{
    for (Spare& spare : spares_)
        if (spare.code == code && spare.sym != XKB_KEY_NoSymbol)
            spare.lastUsed = now;
}

bool SpareKeymap::isSpare(xkb_keycode_t code) const
{
    return std::any_of(spares_.begin(), spares_.end(),
                       [code](const Spare& s) { return s.code == code && s.sym != XKB_KEY_NoSymbol; });
}

QString SpareKeymap::rebuild()
{
    char* written = xkb_keymap_get_as_string(base_, XKB_KEYMAP_FORMAT_TEXT_V1);
    if (!written)
        return QStringLiteral("the keyboard layout could not be written out");
    std::string text = written;
    std::free(written);

    std::string names, keys;
    for (const Spare& spare : spares_) {
        if (spare.sym == XKB_KEY_NoSymbol)
            continue;
        std::string name;
        if (const char* own = xkb_keymap_key_get_name(base_, spare.code)) {
            name = own;
        } else {
            name = "K" + std::to_string(spare.code);
            names += "\t<" + name + "> = " + std::to_string(spare.code) + ";\n";
        }
        // A character and its capital, as a letter key has them, so that
        // Shift gives the capital as on any other key.
        const xkb_keysym_t upper = xkb_keysym_to_upper(spare.sym);
        keys += "\tkey <" + name + "> { [ " + symbolName(spare.sym);
        if (upper != spare.sym)
            keys += ", " + symbolName(upper);
        keys += " ] };\n";
    }
    const auto keycodesEnd = sectionEnd(text, "xkb_keycodes");
    if (keycodesEnd == std::string::npos)
        return QStringLiteral("the keyboard layout has no key codes section");
    text.insert(keycodesEnd, names);
    const auto symbolsStart = text.find("xkb_symbols");
    const auto symbolsEnd = sectionEnd(text, "xkb_symbols");
    const auto brace = symbolsStart == std::string::npos ? symbolsStart : text.find('{', symbolsStart);
    if (symbolsEnd == std::string::npos || brace == std::string::npos || brace > symbolsEnd)
        return QStringLiteral("the keyboard layout has no symbols section");
    text.insert(symbolsEnd, keys);
    text.replace(symbolsStart, brace - symbolsStart, std::string("xkb_symbols \"") + OwnSectionName + "\" ");

    xkb_keymap* keymap = xkb_keymap_new_from_string(context_, text.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                                    XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!keymap)
        return QStringLiteral("the keyboard layout with spare keys added could not be compiled");
    // Written out once more, the text is the compositor's own form of it.
    char* compiled = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
    text_ = compiled ? compiled : text;
    std::free(compiled);
    index_ = std::make_unique<KeymapIndex>(keymap);
    xkb_keymap_unref(keymap);
    return {};
}

} // namespace kelvo
