// The keymap lookup and the spare keys, on keymaps compiled from the system's
// layouts: what a keystroke found there gives, fed to xkbcommon's own state,
// is the character asked for.
#include "platform/xkb/KeymapIndex.h"
#include "platform/xkb/SpareKeymap.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <set>

using namespace kelvo;

namespace {

struct Context {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    ~Context() { xkb_context_unref(context); }
};

struct Keymap {
    xkb_keymap* keymap;
    explicit Keymap(xkb_context* context, const char* layout, const char* variant = nullptr)
    {
        const xkb_rule_names names{nullptr, nullptr, layout, variant, nullptr};
        keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    }
    ~Keymap() { xkb_keymap_unref(keymap); }
};

// The character a client makes of the stroke, as it would with the
// modifiers and layout the sender states around the key.
char32_t typed(xkb_keymap* keymap, const KeymapIndex::Stroke& stroke)
{
    xkb_state* state = xkb_state_new(keymap);
    xkb_state_update_mask(state, stroke.mods, 0, 0, 0, 0, stroke.layout);
    const char32_t ch = xkb_state_key_get_utf32(state, stroke.code);
    xkb_state_unref(state);
    return ch;
}

// Every character on any key and level of the keymap (keypads aside).
std::set<char32_t> charactersOn(xkb_keymap* keymap)
{
    std::set<char32_t> found;
    for (xkb_keycode_t code = xkb_keymap_min_keycode(keymap); code <= xkb_keymap_max_keycode(keymap); ++code)
        for (xkb_layout_index_t layout = 0; layout < xkb_keymap_num_layouts_for_key(keymap, code); ++layout)
            for (xkb_level_index_t level = 0; level < xkb_keymap_num_levels_for_key(keymap, code, layout); ++level) {
                const xkb_keysym_t* syms = nullptr;
                if (xkb_keymap_key_get_syms_by_level(keymap, code, layout, level, &syms) != 1
                    || (syms[0] >= XKB_KEY_KP_Space && syms[0] <= XKB_KEY_KP_Equal))
                    continue;
                if (const char32_t ch = xkb_keysym_to_utf32(syms[0]); ch >= 0x20 && ch != 0x7f)
                    found.insert(ch);
            }
    return found;
}

class KeymapLayouts : public testing::TestWithParam<std::pair<const char*, const char*>> {};

} // namespace

// Each layout's every level: AltGr on de, the fifth and sixth levels of neo,
// the second layout of ru,us.
TEST_P(KeymapLayouts, EveryCharacterOnTheLayoutIsFoundAndTypesItself)
{
    Context c;
    Keymap k(c.context, GetParam().first, GetParam().second);
    ASSERT_NE(k.keymap, nullptr);
    const KeymapIndex index(k.keymap);
    const std::set<char32_t> characters = charactersOn(k.keymap);
    ASSERT_GT(characters.size(), 60u);
    for (const char32_t ch : characters) {
        const auto stroke = index.character(ch);
        ASSERT_TRUE(stroke) << "U+" << std::hex << unsigned(ch) << " not found";
        EXPECT_EQ(typed(k.keymap, *stroke), ch) << "U+" << std::hex << unsigned(ch);
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, KeymapLayouts,
                         testing::Values(std::pair{"us", nullptr}, std::pair{"de", nullptr},
                                         std::pair{"de", "neo"}, std::pair{"fr", nullptr},
                                         std::pair{"ru,us", nullptr}));

TEST(KeymapIndex, ModifiersAreTheLevelsOwnAndTheKeysHeldForThem)
{
    Context c;
    Keymap de(c.context, "de");
    const KeymapIndex index(de.keymap);
    // @ is AltGr+Q on de: AltGr's modifier, held with the key that sets it.
    const auto at = index.character(U'@');
    ASSERT_TRUE(at);
    EXPECT_EQ(at->code, 24u);
    ASSERT_EQ(index.modifierKeys(at->mods).size(), 1u);
    EXPECT_EQ(index.baseSymbol(index.modifierKeys(at->mods)[0]), XKB_KEY_ISO_Level3_Shift);
    // A capital takes Shift alone (not Caps Lock), pressed as the left Shift.
    const auto capital = index.character(U'Q');
    ASSERT_TRUE(capital);
    EXPECT_EQ(capital->mods, index.shiftMask());
    EXPECT_EQ(index.modifierKeys(capital->mods), std::vector<xkb_keycode_t>{50});
    // de has € on a key of its own above 255, where no X11 program (nor
    // one through XWayland) sees it: AltGr+E is taken.
    const auto euro = index.character(U'€');
    ASSERT_TRUE(euro);
    EXPECT_EQ(euro->code, 26u);
    // The keypad's star follows Num Lock: the main keys' is used.
    const auto star = index.character(U'*');
    ASSERT_TRUE(star);
    EXPECT_EQ(index.baseSymbol(star->code), XKB_KEY_plus);
}

TEST(KeymapIndex, ShortcutsAddTheirModifiersToTheKeyAsAHardwareKeyboardWould)
{
    Context c;
    Keymap us(c.context, "us");
    const KeymapIndex index(us.keymap);
    const auto ctrlC = index.resolve(KeyAction{U'c', NamedKey::None, ModCtrl});
    ASSERT_TRUE(ctrlC);
    EXPECT_EQ(ctrlC->code, 54u);
    EXPECT_EQ(ctrlC->mods, index.controlMask());
    const auto altTab = index.resolve(KeyAction{0, NamedKey::Tab, ModAlt});
    ASSERT_TRUE(altTab);
    EXPECT_EQ(altTab->code, 23u);
    EXPECT_EQ(altTab->mods, index.altMask());
    const auto shiftOne = index.resolve(KeyAction{U'1', NamedKey::None, ModShift});
    ASSERT_TRUE(shiftOne);
    EXPECT_EQ(typed(us.keymap, *shiftOne), U'!');
    EXPECT_FALSE(index.resolve(KeyAction{U'é', NamedKey::None, 0}));
    // The second layout of a pair is searched too, and stated with the key.
    Keymap ruUs(c.context, "ru,us");
    const KeymapIndex pair(ruUs.keymap);
    ASSERT_TRUE(pair.character(U'q'));
    EXPECT_EQ(pair.character(U'q')->layout, 1u);
    EXPECT_EQ(pair.character(U'й')->layout, 0u);
    // A sender that cannot choose the layout asks on the one in use alone.
    EXPECT_FALSE(pair.character(U'q', 0));
    EXPECT_FALSE(pair.resolve(KeyAction{U'q', NamedKey::None, ModCtrl}, 0));
    ASSERT_TRUE(pair.resolve(KeyAction{U'q', NamedKey::None, ModCtrl}, 1));
    EXPECT_EQ(pair.keysym(XKB_KEY_Return, 1)->layout, 1u);
    // On the Cyrillic layout Ctrl+C goes on the key in C's US place, Ctrl+Shift+C
    // for a capital; a plain letter has no such place.
    const auto ctrlCOnRu = pair.shortcutAtUsPlace(KeyAction{U'C', NamedKey::None, ModCtrl}, 0);
    ASSERT_TRUE(ctrlCOnRu);
    EXPECT_EQ(*ctrlCOnRu, (KeymapIndex::Stroke{54, 0, pair.controlMask() | pair.shiftMask()}));
    EXPECT_FALSE(pair.shortcutAtUsPlace(KeyAction{U'c', NamedKey::None, 0}, 0));
}

TEST(SpareKeymap, ACharacterTheLayoutLacksGetsAKeyOfItsOwnWithItsCapitalOnShift)
{
    Context c;
    Keymap us(c.context, "us");
    SpareKeymap spares(c.context);
    ASSERT_TRUE(spares.setBase(us.keymap).isEmpty());
    EXPECT_TRUE(SpareKeymap::isOurs(spares.text()));
    const std::string before = spares.text();

    const auto now = SpareKeymap::Clock::now();
    const auto reserved = spares.reserve({xkb_utf32_to_keysym(U'é'), xkb_utf32_to_keysym(U'Ж')}, now);
    ASSERT_TRUE(reserved.error.isEmpty()) << reserved.error.toStdString();
    EXPECT_TRUE(reserved.changed);
    EXPECT_NE(spares.text(), before);
    for (const char32_t ch : {U'é', U'É', U'ж', U'Ж', U'a'}) {
        const auto stroke = spares.index()->character(ch);
        ASSERT_TRUE(stroke) << "U+" << std::hex << unsigned(ch);
        EXPECT_EQ(typed(spares.keymap(), *stroke), ch) << "U+" << std::hex << unsigned(ch);
    }
    const xkb_keycode_t eacute = spares.index()->character(U'é')->code;
    EXPECT_TRUE(spares.isSpare(eacute));
    EXPECT_EQ(spares.index()->character(U'É')->code, eacute);

    // Asked again, or for what the layout has, nothing changes: no upload.
    const std::string text = spares.text();
    EXPECT_FALSE(spares.reserve({xkb_utf32_to_keysym(U'é'), XKB_KEY_a}, now).changed);
    EXPECT_EQ(spares.text(), text);
    // A new character leaves the old ones on their keys.
    EXPECT_TRUE(spares.reserve({xkb_utf32_to_keysym(U'ł')}, now).changed);
    EXPECT_EQ(spares.index()->character(U'é')->code, eacute);
}

TEST(SpareKeymap, AKeyIsGivenAnotherCharacterOnlyOnceLeftAloneAndAStringNeedingTooManyIsRefused)
{
    Context c;
    Keymap us(c.context, "us");
    SpareKeymap spares(c.context);
    ASSERT_TRUE(spares.setBase(us.keymap).isEmpty());
    const size_t pool = KeymapIndex(us.keymap).unusedKeycodes().size();
    ASSERT_GT(pool, 4u);

    // Fill every spare key (with characters that have no capitals), the
    // first of them a little earlier.
    auto start = SpareKeymap::Clock::now();
    std::vector<xkb_keysym_t> syms;
    for (size_t i = 0; i < pool; ++i)
        syms.push_back(xkb_utf32_to_keysym(U'一' + char32_t(i)));
    ASSERT_TRUE(spares.reserve({syms[0]}, start).changed);
    ASSERT_TRUE(spares.reserve(syms, start + std::chrono::milliseconds(500)).changed);
    const xkb_keycode_t oldest = spares.index()->character(U'一')->code;
    // Those X11 programs can see are given out first.
    EXPECT_LE(oldest, 255u);

    const xkb_keysym_t more = xkb_utf32_to_keysym(U'ж');
    const std::string full = spares.text();
    // Still in its grace: nothing changes, and the caller is told how long to wait.
    const auto early = spares.reserve({more}, start + std::chrono::milliseconds(700));
    EXPECT_FALSE(early.changed);
    ASSERT_TRUE(early.wait);
    EXPECT_EQ(*early.wait, SpareKeymap::Grace - std::chrono::milliseconds(700));
    EXPECT_EQ(spares.text(), full);
    // After it, the key left alone longest takes the new character.
    const auto later = spares.reserve({more}, start + SpareKeymap::Grace);
    EXPECT_TRUE(later.changed);
    EXPECT_EQ(spares.index()->character(U'ж')->code, oldest);
    EXPECT_FALSE(spares.index()->character(U'一'));
    EXPECT_TRUE(spares.index()->character(U'丁'));

    // More new characters in one string than there are keys: refused whole.
    std::vector<xkb_keysym_t> tooMany;
    for (size_t i = 0; i <= pool; ++i)
        tooMany.push_back(xkb_utf32_to_keysym(U'倀' + char32_t(i)));
    const std::string before = spares.text();
    const auto refused = spares.reserve(tooMany, start + std::chrono::seconds(60));
    EXPECT_FALSE(refused.changed);
    EXPECT_FALSE(refused.error.isEmpty());
    EXPECT_EQ(spares.text(), before);
}

TEST(SpareKeymap, ANewLayoutKeepsTheSpareKeysItLeavesFreeAndDropsWhatItHasItself)
{
    Context c;
    Keymap us(c.context, "us"), de(c.context, "de");
    SpareKeymap spares(c.context);
    ASSERT_TRUE(spares.setBase(us.keymap).isEmpty());
    ASSERT_TRUE(spares.reserve({xkb_utf32_to_keysym(U'ä'), xkb_utf32_to_keysym(U'ж')}, SpareKeymap::Clock::now()).changed);
    const xkb_keycode_t zhe = spares.index()->character(U'ж')->code;

    ASSERT_TRUE(spares.setBase(de.keymap).isEmpty());
    EXPECT_EQ(spares.index()->character(U'ж')->code, zhe);
    EXPECT_FALSE(spares.isSpare(spares.index()->character(U'ä')->code));
    EXPECT_EQ(typed(spares.keymap(), *spares.index()->character(U'@')), U'@');
    // The user's keymap as a compositor sends it is not ours, and one that
    // does not compile leaves the last one in use.
    const std::unique_ptr<char, decltype(&std::free)> users(xkb_keymap_get_as_string(de.keymap, XKB_KEYMAP_FORMAT_TEXT_V1),
                                                            &std::free);
    EXPECT_FALSE(SpareKeymap::isOurs(users.get()));
    EXPECT_FALSE(spares.setBase(std::string("xkb_keymap { nonsense")).isEmpty());
    EXPECT_EQ(spares.index()->character(U'ж')->code, zhe);
}
