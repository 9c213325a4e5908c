#include "platform/xkb/KeymapIndex.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstring>
#include <cstdint>
#include <memory>
#include <tuple>

namespace kelvo {

namespace {

// Keypad symbols follow Num Lock, so characters are never typed with them.
bool isKeypad(xkb_keysym_t sym)
{
    return (sym >= XKB_KEY_KP_Space && sym <= XKB_KEY_KP_9) || sym == XKB_KEY_KP_Equal;
}

// Keys that set a modifier while held, by their first symbol; lower ranks
// are preferred when several keys set the same modifier. Lock keys are not
// among them: they are never pressed to obtain a level.
std::optional<int> modifierKeyRank(xkb_keysym_t sym)
{
    switch (sym) {
    case XKB_KEY_Shift_L: case XKB_KEY_Control_L: case XKB_KEY_Alt_L: return 0;
    case XKB_KEY_ISO_Level3_Shift: case XKB_KEY_ISO_Level5_Shift: return 1;
    case XKB_KEY_Shift_R: case XKB_KEY_Control_R: case XKB_KEY_Alt_R: return 2;
    case XKB_KEY_Meta_L: case XKB_KEY_Meta_R: case XKB_KEY_Super_L: case XKB_KEY_Super_R:
    case XKB_KEY_Hyper_L: case XKB_KEY_Hyper_R:
        return 3;
    default:
        return std::nullopt;
    }
}

struct StateDeleter {
    void operator()(xkb_state* state) const { xkb_state_unref(state); }
};
using State = std::unique_ptr<xkb_state, StateDeleter>;

} // namespace

KeymapIndex::KeymapIndex(xkb_keymap* keymap)
    : keymap_(xkb_keymap_ref(keymap))
{
    findModifierKeys();
    index();
}

KeymapIndex::~KeymapIndex()
{
    xkb_keymap_unref(keymap_);
}

void KeymapIndex::findModifierKeys()
{
    std::vector<std::tuple<int, xkb_mod_mask_t, xkb_keycode_t>> found; // rank, one bit, key
    const xkb_keycode_t first = xkb_keymap_min_keycode(keymap_);
    const xkb_keycode_t last = xkb_keymap_max_keycode(keymap_);
    for (xkb_keycode_t code = first; code <= last && code >= first; ++code) {
        const xkb_keysym_t sym = baseSymbol(code);
        const auto rank = modifierKeyRank(sym);
        if (!rank)
            continue;
        // What the key does is what pressing it does to a fresh state.
        State state(xkb_state_new(keymap_));
        if (!state)
            continue;
        xkb_state_update_key(state.get(), code, XKB_KEY_DOWN);
        const xkb_mod_mask_t mods = xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_DEPRESSED);
        if (sym == XKB_KEY_Shift_L || (sym == XKB_KEY_Shift_R && !shift_))
            shift_ = mods;
        if (sym == XKB_KEY_Control_L || (sym == XKB_KEY_Control_R && !control_))
            control_ = mods;
        if (sym == XKB_KEY_Alt_L || (sym == XKB_KEY_Alt_R && !alt_))
            alt_ = mods;
        for (int bit = 0; bit < 32; ++bit)
            if (mods & (1u << bit))
                found.emplace_back(*rank, 1u << bit, code);
    }
    std::sort(found.begin(), found.end());
    for (const auto& [rank, bit, code] : found) {
        const bool taken = std::any_of(modifierKeys_.begin(), modifierKeys_.end(),
                                       [bit = bit](const auto& entry) { return entry.first == bit; });
        if (!taken)
            modifierKeys_.emplace_back(bit, code);
    }
    // A keymap without the usual keys still names its real modifiers.
    auto named = [this](const char* name) -> xkb_mod_mask_t {
        const xkb_mod_index_t index = xkb_keymap_mod_get_index(keymap_, name);
        return index == XKB_MOD_INVALID ? 0 : 1u << index;
    };
    if (!shift_)
        shift_ = named(XKB_MOD_NAME_SHIFT);
    if (!control_)
        control_ = named(XKB_MOD_NAME_CTRL);
    if (!alt_)
        alt_ = named(XKB_MOD_NAME_ALT);
}

void KeymapIndex::index()
{
    const xkb_layout_index_t layouts = std::max<xkb_layout_index_t>(1, xkb_keymap_num_layouts(keymap_));
    State state(xkb_state_new(keymap_));
    if (!state)
        return;
    const xkb_keycode_t first = xkb_keymap_min_keycode(keymap_);
    const xkb_keycode_t last = xkb_keymap_max_keycode(keymap_);
    // The key's own layouts already indexed, a bit each: a key with fewer
    // layouts than the keymap repeats one of its own in the higher ones, and
    // is found in the lowest already.
    std::vector<std::uint32_t> indexed(last >= first ? last - first + 1 : 0);
    for (xkb_keycode_t code = first; code <= last && code >= first; ++code)
        if (const char32_t latin = latinAtUsPlace(xkb_keymap_key_get_name(keymap_, code)))
            usPlaces_.emplace(latin, code);
    for (xkb_layout_index_t layout = 0; layout < layouts; ++layout) {
        xkb_state_update_mask(state.get(), 0, 0, 0, 0, 0, layout);
        for (xkb_keycode_t code = first; code <= last && code >= first; ++code) {
            if (xkb_keymap_num_layouts_for_key(keymap_, code) == 0)
                continue;
            const xkb_layout_index_t own = xkb_state_key_get_layout(state.get(), code);
            if (own == XKB_LAYOUT_INVALID || own >= 32 || (indexed[code - first] & (1u << own)))
                continue;
            indexed[code - first] |= 1u << own;
            const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap_, code, own);
            for (xkb_level_index_t level = 0; level < levels; ++level) {
                const xkb_keysym_t* syms = nullptr;
                if (xkb_keymap_key_get_syms_by_level(keymap_, code, own, level, &syms) != 1)
                    continue;
                const Place place{code, layout, own, level};
                syms_[syms[0]].push_back(place);
                if (isKeypad(syms[0]))
                    continue;
                if (const char32_t ch = xkb_keysym_to_utf32(syms[0]))
                    chars_[ch].push_back(place);
            }
        }
    }
}

std::optional<xkb_mod_mask_t> KeymapIndex::modsFor(const Place& place) const
{
    xkb_mod_mask_t masks[64];
    const size_t count = xkb_keymap_key_get_mods_for_level(keymap_, place.code, place.keyLayout, place.level,
                                                           masks, std::size(masks));
    auto pressable = [this](xkb_mod_mask_t mask) {
        for (int bit = 0; bit < 32; ++bit)
            if ((mask & (1u << bit)) && std::none_of(modifierKeys_.begin(), modifierKeys_.end(),
                                                      [bit](const auto& e) { return e.first == 1u << bit; }))
                return false;
        return true;
    };
    State state(xkb_state_new(keymap_));
    std::optional<xkb_mod_mask_t> best;
    for (size_t i = 0; i < count; ++i) {
        // Checked against the keymap itself: the mask must select this very
        // level of this very layout of the key.
        xkb_state_update_mask(state.get(), masks[i], 0, 0, 0, 0, place.layout);
        if (xkb_state_key_get_layout(state.get(), place.code) != place.keyLayout
            || xkb_state_key_get_level(state.get(), place.code, place.keyLayout) != place.level)
            continue;
        const auto rank = [&](xkb_mod_mask_t m) { return std::pair(!pressable(m), std::popcount(m)); };
        if (!best || rank(masks[i]) < rank(*best))
            best = masks[i];
    }
    return best;
}

std::optional<KeymapIndex::Stroke> KeymapIndex::best(const std::vector<Place>* places,
                                                     std::optional<xkb_layout_index_t> layout) const
{
    if (!places)
        return std::nullopt;
    // X11 programs (through XWayland too) see no keycode above 255.
    constexpr xkb_keycode_t HighestX11Keycode = 255;
    std::optional<Stroke> chosen;
    std::optional<std::tuple<xkb_layout_index_t, bool, int, xkb_level_index_t, xkb_keycode_t>> chosenRank;
    for (Place place : *places) {
        // A key is indexed in the lowest layout it shows one of its own in;
        // in a higher one it may show the same (a key with fewer layouts
        // than the keymap), which modsFor tells.
        if (layout)
            place.layout = *layout;
        const auto mods = modsFor(place);
        if (!mods)
            continue;
        const auto rank
            = std::tuple(place.layout, place.code > HighestX11Keycode, std::popcount(*mods), place.level, place.code);
        if (!chosenRank || rank < *chosenRank) {
            chosenRank = rank;
            chosen = Stroke{place.code, place.layout, *mods};
        }
    }
    return chosen;
}

std::optional<KeymapIndex::Stroke> KeymapIndex::character(char32_t ch, std::optional<xkb_layout_index_t> layout) const
{
    const auto found = chars_.find(ch);
    return best(found == chars_.end() ? nullptr : &found->second, layout);
}

std::optional<KeymapIndex::Stroke> KeymapIndex::keysym(xkb_keysym_t sym, std::optional<xkb_layout_index_t> layout) const
{
    const auto found = syms_.find(sym);
    return best(found == syms_.end() ? nullptr : &found->second, layout);
}

std::optional<KeymapIndex::Stroke> KeymapIndex::resolve(const KeyAction& action,
                                                        std::optional<xkb_layout_index_t> layout) const
{
    std::optional<Stroke> stroke = action.key != NamedKey::None ? keysym(namedKeySym(action.key), layout)
                                                                : character(action.character, layout);
    if (!stroke)
        return std::nullopt;
    if (action.modifiers & ModShift)
        stroke->mods |= shift_;
    if (action.modifiers & ModCtrl)
        stroke->mods |= control_;
    if (action.modifiers & ModAlt)
        stroke->mods |= alt_;
    return stroke;
}

std::optional<KeymapIndex::Stroke> KeymapIndex::shortcutAtUsPlace(const KeyAction& action,
                                                                 xkb_layout_index_t layout) const
{
    const char32_t c = action.character;
    const bool capital = c >= U'A' && c <= U'Z';
    if (!(action.modifiers & (ModCtrl | ModAlt)) || action.key != NamedKey::None)
        return std::nullopt;
    const auto found = usPlaces_.find(capital ? c - U'A' + U'a' : c);
    if (found == usPlaces_.end())
        return std::nullopt;
    Stroke stroke{found->second, layout, 0};
    if (capital || (action.modifiers & ModShift))
        stroke.mods |= shift_;
    if (action.modifiers & ModCtrl)
        stroke.mods |= control_;
    if (action.modifiers & ModAlt)
        stroke.mods |= alt_;
    return stroke;
}

char32_t latinAtUsPlace(const char* keyName)
{
    static constexpr std::pair<const char*, const char*> UsRows[] = {
        {"AE", "1234567890"}, {"AD", "qwertyuiop"}, {"AC", "asdfghjkl"}, {"AB", "zxcvbnm"}};
    if (!keyName || std::strlen(keyName) != 4 || !std::isdigit(static_cast<unsigned char>(keyName[2]))
        || !std::isdigit(static_cast<unsigned char>(keyName[3])))
        return 0;
    const std::size_t column = std::size_t((keyName[2] - '0') * 10 + (keyName[3] - '0'));
    for (const auto& [row, keys] : UsRows)
        if (std::strncmp(keyName, row, 2) == 0 && column >= 1 && column <= std::strlen(keys))
            return char32_t(keys[column - 1]);
    return 0;
}

std::vector<xkb_keycode_t> KeymapIndex::modifierKeys(xkb_mod_mask_t mods) const
{
    std::vector<xkb_keycode_t> keys;
    for (const auto& [bit, code] : modifierKeys_)
        if ((mods & bit) && std::find(keys.begin(), keys.end(), code) == keys.end())
            keys.push_back(code);
    return keys;
}

std::vector<xkb_keycode_t> KeymapIndex::unusedKeycodes() const
{
    std::vector<xkb_keycode_t> codes;
    const xkb_keycode_t first = std::max<xkb_keycode_t>(8, xkb_keymap_min_keycode(keymap_));
    const xkb_keycode_t last = xkb_keymap_max_keycode(keymap_);
    for (xkb_keycode_t code = first; code <= last && code >= first; ++code)
        if (xkb_keymap_num_layouts_for_key(keymap_, code) == 0)
            codes.push_back(code);
    return codes;
}

xkb_keysym_t KeymapIndex::baseSymbol(xkb_keycode_t code, xkb_layout_index_t layout) const
{
    // A key with fewer layouts than the keymap shows one of its own in the
    // others: the one xkbcommon picks for it there.
    State state(xkb_state_new(keymap_));
    if (!state)
        return XKB_KEY_NoSymbol;
    xkb_state_update_mask(state.get(), 0, 0, 0, 0, 0, layout);
    const xkb_layout_index_t own = xkb_state_key_get_layout(state.get(), code);
    const xkb_keysym_t* syms = nullptr;
    if (own == XKB_LAYOUT_INVALID || xkb_keymap_key_get_syms_by_level(keymap_, code, own, 0, &syms) < 1)
        return XKB_KEY_NoSymbol;
    return syms[0];
}

xkb_keysym_t namedKeySym(NamedKey key)
{
    switch (key) {
    case NamedKey::None: break;
    case NamedKey::Backspace: return XKB_KEY_BackSpace;
    case NamedKey::Break: return XKB_KEY_Break;
    case NamedKey::CapsLock: return XKB_KEY_Caps_Lock;
    case NamedKey::Delete: return XKB_KEY_Delete;
    case NamedKey::Down: return XKB_KEY_Down;
    case NamedKey::End: return XKB_KEY_End;
    case NamedKey::Enter: return XKB_KEY_Return;
    case NamedKey::Escape: return XKB_KEY_Escape;
    case NamedKey::Help: return XKB_KEY_Help;
    case NamedKey::Home: return XKB_KEY_Home;
    case NamedKey::Insert: return XKB_KEY_Insert;
    case NamedKey::Left: return XKB_KEY_Left;
    case NamedKey::NumLock: return XKB_KEY_Num_Lock;
    case NamedKey::PageDown: return XKB_KEY_Next;
    case NamedKey::PageUp: return XKB_KEY_Prior;
    case NamedKey::PrintScreen: return XKB_KEY_Print;
    case NamedKey::Right: return XKB_KEY_Right;
    case NamedKey::ScrollLock: return XKB_KEY_Scroll_Lock;
    case NamedKey::Tab: return XKB_KEY_Tab;
    case NamedKey::Up: return XKB_KEY_Up;
    default:
        if (key >= NamedKey::F1 && key <= NamedKey::F16)
            return XKB_KEY_F1 + (static_cast<int>(key) - static_cast<int>(NamedKey::F1));
    }
    return XKB_KEY_NoSymbol;
}

} // namespace kelvo
