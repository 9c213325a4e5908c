#include "platform/x11/X11KeySender.h"

#include "platform/xkb/KeymapIndex.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <xkbcommon/xkbcommon.h>

// Xlib's None would hide NamedKey::None; nothing here needs the macro.
#undef None

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>

namespace kelvo {

namespace {

// How many keycodes the spare pool holds at most. A layout leaves a few dozen
// keycodes without symbols; a large pool rarely has to reuse one.
constexpr std::size_t SparePoolSize = 32;
// A client that is told the keymap changed reads it again when it next looks
// up a key, which may be long after we pressed it if the client is busy. A
// spare key is not remapped (or put back) until it has been left alone this
// long, so a lagging client does not read a newer mapping for an older press.
constexpr auto SpareGrace = std::chrono::milliseconds(1000);
// Spare keys idle this long are put back at the next send.
constexpr auto SpareIdle = std::chrono::seconds(30);

// X errors are reported asynchronously; the default handler would end the
// process, so we only remember that one happened.
std::atomic<int> lastXError{0};

int recordXError(Display*, XErrorEvent* event)
{
    lastXError = event->error_code;
    return 0;
}

// Xlib's own handler for a lost connection ends the process through exit(),
// whose clean-up may call Xlib again on the dead connection; nothing can be
// put back on a server that is gone, so say so and end at once.
[[noreturn]] int onDisplayLost(Display* display)
{
    std::fprintf(stderr, "%s: lost the connection to the X server on display \"%s\"; ending\n",
                 program_invocation_short_name, DisplayString(display));
    std::fflush(stderr);
    _exit(1);
}

// Keypad symbols follow Num Lock, so characters are never typed with them.
bool isKeypad(KeySym sym)
{
    return (sym >= XK_KP_Space && sym <= XK_KP_9) || sym == XK_KP_Equal;
}

// Keys that lock a modifier on: never pressed to obtain a level.
bool isLockKey(KeySym sym)
{
    switch (sym) {
    case XK_Caps_Lock: case XK_Shift_Lock: case XK_Num_Lock: case XK_Scroll_Lock:
    case XK_ISO_Lock: case XK_ISO_Level3_Lock: case XK_ISO_Level5_Lock:
    case XK_Mode_switch:
        return true;
    default:
        return false;
    }
}

// Lower is better when several keys set the same modifier.
int modifierKeyRank(KeySym sym)
{
    switch (sym) {
    case XK_Shift_L: case XK_Control_L: case XK_Alt_L: return 0;
    case XK_ISO_Level3_Shift: case XK_ISO_Level5_Shift: return 1;
    case XK_Shift_R: case XK_Control_R: case XK_Alt_R: return 2;
    default: return 3;
    }
}

struct LevelChoice {
    unsigned level;
    bool lockLeft; // Lock is on and the type leaves it to the client
};

// The level that mods select on a key of this type. Modifiers the type does
// not consume are left to the client, which turns a symbol into its capital
// when Lock is among them.
LevelChoice levelOf(const XkbKeyTypeRec* type, unsigned mods)
{
    const unsigned relevant = mods & type->mods.mask;
    unsigned level = 0;
    unsigned preserved = 0;
    for (int i = 0; i < type->map_count; ++i) {
        const XkbKTMapEntryRec& entry = type->map[i];
        if (entry.active && entry.mods.mask == relevant) {
            level = entry.level;
            preserved = type->preserve ? type->preserve[i].mask : 0;
            break;
        }
    }
    const unsigned consumed = type->mods.mask & ~preserved;
    return {level, (mods & LockMask) && !(consumed & LockMask)};
}

// True when a client would show sym differently with Lock left on.
bool changesWithLock(KeySym sym)
{
    return xkb_keysym_to_upper(static_cast<xkb_keysym_t>(sym)) != sym;
}

} // namespace

SenderOpening X11KeySender::open(bool trace)
{
    const QString name = qEnvironmentVariable("DISPLAY");
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        return {nullptr, SenderProblem::NoDisplay,
                name.isEmpty() ? QStringLiteral("no display: DISPLAY is not set")
                               : QStringLiteral("cannot open display \"%1\"").arg(name)};
    }
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor)) {
        XCloseDisplay(display);
        return {nullptr, SenderProblem::NoInjection,
                QStringLiteral("display \"%1\" has no XTest extension: keystrokes cannot be sent")
                    .arg(name)};
    }
    int opcode = 0, xkbEvent = 0, xkbError = 0;
    major = XkbMajorVersion;
    minor = XkbMinorVersion;
    if (!XkbQueryExtension(display, &opcode, &xkbEvent, &xkbError, &major, &minor)) {
        XCloseDisplay(display);
        return {nullptr, SenderProblem::NoInjection,
                QStringLiteral("display \"%1\" has no XKB extension: keyboard layouts cannot be read")
                    .arg(name)};
    }
    XSetIOErrorHandler(onDisplayLost);
    return {std::unique_ptr<KeySender>(new X11KeySender(display, xkbEvent, trace)), SenderProblem::None, {}};
}

X11KeySender::X11KeySender(Display* display, int xkbEventBase, bool trace)
    : display_(display)
    , xkbEventBase_(xkbEventBase)
    , trace_(trace)
{
    XSetErrorHandler(recordXError);
    // Our events then reach clients even while another client grabs the server.
    XTestGrabControl(display_, True);
    XkbSelectEvents(display_, XkbUseCoreKbd, XkbNewKeyboardNotifyMask | XkbMapNotifyMask,
                    XkbNewKeyboardNotifyMask | XkbMapNotifyMask);
}

X11KeySender::~X11KeySender()
{
    releaseAll();
    putBackIdleSpares(Clock::duration::zero());
    putBackIdleLatinGroups(Clock::duration::zero());
    XSync(display_, False);
    if (keymap_)
        XkbFreeKeyboard(keymap_, 0, True);
    XCloseDisplay(display_);
}

void X11KeySender::readPendingEvents()
{
    while (XPending(display_)) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type == xkbEventBase_ || event.type == MappingNotify)
            keymapStale_ = true;
    }
}

void X11KeySender::loadKeymap()
{
    if (keymap_)
        XkbFreeKeyboard(keymap_, 0, True);
    keymap_ = XkbGetMap(display_, XkbKeyTypesMask | XkbKeySymsMask | XkbModifierMapMask,
                        XkbUseCoreKbd);
    keymapStale_ = false;
    // A new layout replaced the keys we lent a group to: nothing to give back.
    std::erase_if(lentKeys_, [&](const LentKey& lent) {
        return !keymap_ || XkbKeyNumGroups(keymap_, lent.code) < 2
            || XkbKeySymEntry(keymap_, lent.code, 0, 1) != lent.letter;
    });
    usPlaces_.clear();
    if (keymap_ && XkbGetNames(display_, XkbKeyNamesMask, keymap_) == Success && keymap_->names
        && keymap_->names->keys) {
        for (int code = keymap_->min_key_code; code <= keymap_->max_key_code; ++code) {
            // XKB key names are four bytes, not always terminated.
            const std::string name(keymap_->names->keys[code].name, strnlen(keymap_->names->keys[code].name, 4));
            if (const char32_t latin = latinAtUsPlace(name.c_str()))
                usPlaces_[latin] = static_cast<KeyCode>(code);
        }
    }
    indexedGroup_ = -1;
    refreshSpares();
}

// Keeps the pool true to the server: a key that a new layout gave symbols of
// its own leaves the pool, one whose mapping was replaced is free again, and
// the pool is filled up from keycodes that have no symbols.
void X11KeySender::refreshSpares()
{
    if (!keymap_)
        return;
    std::erase_if(spares_, [&](Spare& spare) {
        const int groups = XkbKeyNumGroups(keymap_, spare.code);
        if (spare.sym == NoSymbol)
            return groups != 0;
        if (groups == 0) {
            spare.sym = NoSymbol; // a new layout dropped our mapping
            return false;
        }
        return XkbKeySymEntry(keymap_, spare.code, 0, 0) != spare.sym;
    });
    for (int code = keymap_->max_key_code; code >= keymap_->min_key_code; --code) {
        if (spares_.size() >= SparePoolSize)
            break;
        if (XkbKeyNumGroups(keymap_, code) == 0 && !isSpare(static_cast<KeyCode>(code)))
            spares_.push_back({static_cast<KeyCode>(code)});
    }
}

bool X11KeySender::isSpare(KeyCode code) const
{
    return std::any_of(spares_.begin(), spares_.end(),
                       [code](const Spare& spare) { return spare.code == code; });
}

unsigned X11KeySender::effectiveGroup(KeyCode code, unsigned group) const
{
    const unsigned info = XkbKeyGroupInfo(keymap_, code);
    const unsigned groups = XkbNumGroups(info);
    if (groups == 0 || group < groups)
        return group;
    switch (XkbOutOfRangeGroupAction(info)) {
    case XkbRedirectIntoRange: {
        const unsigned target = XkbOutOfRangeGroupNumber(info);
        return target < groups ? target : 0;
    }
    case XkbClampIntoRange:
        return groups - 1;
    default:
        return group % groups;
    }
}

void X11KeySender::indexGroup(unsigned group)
{
    chars_.clear();
    syms_.clear();
    std::fill(std::begin(modifierKey_), std::end(modifierKey_), 0);
    int modifierRank[8];
    std::fill(std::begin(modifierRank), std::end(modifierRank), 99);
    altMask_ = Mod1Mask;

    for (int c = keymap_->min_key_code; c <= keymap_->max_key_code; ++c) {
        const auto code = static_cast<KeyCode>(c);
        if (XkbKeyNumGroups(keymap_, code) == 0 || isSpare(code))
            continue;
        const unsigned g = effectiveGroup(code, group);
        const int width = XkbKeyGroupWidth(keymap_, code, g);
        for (int level = 0; level < width; ++level) {
            const KeySym sym = XkbKeySymEntry(keymap_, code, level, g);
            if (sym == NoSymbol)
                continue;
            syms_[sym].push_back({code, static_cast<unsigned>(level)});
            if (!isKeypad(sym)) {
                if (const char32_t ch = xkb_keysym_to_utf32(static_cast<xkb_keysym_t>(sym)))
                    chars_[ch].push_back({code, static_cast<unsigned>(level)});
            }
        }
        // The key that sets each real modifier, judged by its first level.
        const unsigned modmap = keymap_->map->modmap[code];
        const KeySym base = width > 0 ? XkbKeySymEntry(keymap_, code, 0, g) : NoSymbol;
        if (modmap == 0 || base == NoSymbol || !IsModifierKey(base) || isLockKey(base))
            continue;
        if (base == XK_Alt_L || base == XK_Alt_R)
            altMask_ = modmap;
        for (int bit = 0; bit < 8; ++bit) {
            const int rank = modifierKeyRank(base);
            if ((modmap & (1u << bit)) && rank < modifierRank[bit]) {
                modifierRank[bit] = rank;
                modifierKey_[bit] = code;
            }
        }
    }
    indexedGroup_ = static_cast<int>(group);
}

// The fewest extra modifiers that, with those already in effect, select the
// level on this key; none when no pressable combination does.
std::optional<unsigned> X11KeySender::modsForLevel(KeyCode code, unsigned group, unsigned level,
                                                   unsigned fixedMods) const
{
    const KeySym sym = XkbKeySymEntry(keymap_, code, level, group);
    const XkbKeyTypeRec* type = XkbKeyKeyType(keymap_, code, group);
    const unsigned mask = type->mods.mask;
    const unsigned fixed = fixedMods & mask;
    const unsigned free = mask & ~fixed;
    std::optional<unsigned> best;
    for (unsigned sub = free;; sub = (sub - 1) & free) {
        bool pressable = true;
        for (int bit = 0; bit < 8; ++bit)
            if ((sub & (1u << bit)) && !modifierKey_[bit])
                pressable = false;
        const LevelChoice choice = levelOf(type, fixedMods | sub);
        if (pressable && choice.level == level && !(choice.lockLeft && changesWithLock(sym))
            && (!best || std::popcount(sub) < std::popcount(*best)))
            best = sub;
        if (sub == 0)
            break;
    }
    return best;
}

std::optional<X11KeySender::Stroke>
X11KeySender::findOnLayout(const std::vector<Location>* where, unsigned fixedMods) const
{
    if (!where)
        return std::nullopt;
    std::optional<Stroke> best;
    for (const Location& at : *where) {
        const unsigned group = effectiveGroup(at.code, static_cast<unsigned>(indexedGroup_));
        const auto mods = modsForLevel(at.code, group, at.level, fixedMods);
        if (mods && (!best || std::popcount(*mods) < std::popcount(best->mods)))
            best = Stroke{at.code, *mods};
    }
    return best;
}

// A spare key carries a character and its capital, as a letter key does, so
// that Shift and Caps Lock act on it the usual way.
X11KeySender::Spare* X11KeySender::spareFor(KeySym sym)
{
    const KeySym lower = xkb_keysym_to_lower(static_cast<xkb_keysym_t>(sym));
    const KeySym upper = xkb_keysym_to_upper(static_cast<xkb_keysym_t>(sym));
    for (Spare& spare : spares_)
        if (spare.sym == lower)
            return &spare;
    if (spares_.empty())
        return nullptr;
    Spare& oldest = *std::min_element(spares_.begin(), spares_.end(), [](const Spare& a, const Spare& b) {
        return a.lastUsed < b.lastUsed;
    });
    if (oldest.sym != NoSymbol)
        waitForReaders(oldest.lastUsed);
    KeySym syms[2] = {lower, upper};
    lastXError = 0;
    XChangeKeyboardMapping(display_, oldest.code, 2, syms, 1);
    XSync(display_, False);
    if (lastXError != 0)
        return nullptr;
    oldest.sym = lower;
    oldest.lastUsed = Clock::now();
    return &oldest;
}

// The key of a Ctrl or Alt shortcut on a Latin letter or digit, when the
// group in force has no key for it: the one in the letter's US place.
// Applications read shortcuts by key position too (browsers only so), as
// they come from a hardware keyboard on such a layout.
std::optional<X11KeySender::KeyCode> X11KeySender::shortcutKey(const KeyAction& action) const
{
    const char32_t c = action.character;
    const bool latin = (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') || (c >= U'0' && c <= U'9');
    if (!latin || !(action.modifiers & (ModCtrl | ModAlt)) || chars_.contains(c))
        return std::nullopt;
    const auto found = usPlaces_.find(c >= U'A' && c <= U'Z' ? c - U'A' + U'a' : c);
    if (found == usPlaces_.end())
        return std::nullopt;
    return found->second;
}

void X11KeySender::lendLatinGroup(KeyCode code, char32_t letter)
{
    const KeySym lower = xkb_keysym_to_lower(xkb_utf32_to_keysym(letter));
    for (LentKey& lent : lentKeys_) {
        if (lent.code == code) {
            lent.lastUsed = Clock::now();
            return;
        }
    }
    const int groups = XkbKeyNumGroups(keymap_, code);
    for (int g = 0; g < groups; ++g)
        for (int level = 0; level < XkbKeyGroupWidth(keymap_, code, g); ++level)
            if (XkbKeySymEntry(keymap_, code, level, g) == lower)
                return; // another group has it: the client finds it there
    // Only a plain one-group key of one or two levels is lent a group: its
    // own symbols stay the first group, exactly as before.
    if (groups != 1 || XkbKeyGroupWidth(keymap_, code, 0) > 2)
        return;
    int perCode = 0;
    KeySym* core = XGetKeyboardMapping(display_, code, 1, &perCode);
    if (!core)
        return;
    std::vector<KeySym> before(core, core + perCode);
    XFree(core);
    const KeySym first = XkbKeySymEntry(keymap_, code, 0, 0);
    const KeySym second = XkbKeyGroupWidth(keymap_, code, 0) > 1 ? XkbKeySymEntry(keymap_, code, 1, 0) : first;
    KeySym lent[4] = {first, second, lower, xkb_keysym_to_upper(static_cast<xkb_keysym_t>(lower))};
    lastXError = 0;
    XChangeKeyboardMapping(display_, code, 4, lent, 1);
    XSync(display_, False);
    if (lastXError == 0)
        lentKeys_.push_back({code, lower, std::move(before), Clock::now()});
}

// A client may still be reading a press made at `lastUsed` through a key's
// mapping: that mapping is not changed until the grace has passed.
void X11KeySender::waitForReaders(Clock::time_point lastUsed)
{
    if (const auto age = Clock::now() - lastUsed; age < SpareGrace) {
        XSync(display_, False);
        std::this_thread::sleep_for(SpareGrace - age);
    }
}

void X11KeySender::putBackIdleLatinGroups(Clock::duration idleFor)
{
    const auto now = Clock::now();
    std::erase_if(lentKeys_, [&](LentKey& lent) {
        if (now - lent.lastUsed < idleFor)
            return false;
        waitForReaders(lent.lastUsed);
        XChangeKeyboardMapping(display_, lent.code, int(lent.before.size()), lent.before.data(), 1);
        return true;
    });
}

std::optional<X11KeySender::Stroke> X11KeySender::resolve(const KeyAction& action, unsigned fixedMods,
                                                          QString* error)
{
    unsigned userMods = 0;
    if (action.modifiers & ModShift)
        userMods |= ShiftMask;
    if (action.modifiers & ModCtrl)
        userMods |= ControlMask;
    if (action.modifiers & ModAlt)
        userMods |= altMask_;

    KeySym sym = NoSymbol;
    std::optional<Stroke> stroke;
    if (action.key != NamedKey::None) {
        sym = namedKeySym(action.key);
        const auto found = syms_.find(sym);
        stroke = findOnLayout(found == syms_.end() ? nullptr : &found->second, fixedMods);
    } else {
        const auto found = chars_.find(action.character);
        stroke = findOnLayout(found == chars_.end() ? nullptr : &found->second, fixedMods);
        if (!stroke) {
            if (const auto key = shortcutKey(action)) {
                lendLatinGroup(*key, action.character);
                // The capital of a letter is Shift with its key, as by hand.
                const bool capital = action.character >= U'A' && action.character <= U'Z';
                return Stroke{*key, userMods | (capital ? unsigned(ShiftMask) : 0u)};
            }
            sym = xkb_utf32_to_keysym(action.character);
        }
    }
    if (!stroke) {
        const QString what = keyDescription(action);
        if (sym == NoSymbol) {
            *error = QStringLiteral("%1 has no key symbol and cannot be typed").arg(what);
            return std::nullopt;
        }
        Spare* spare = spareFor(sym);
        if (!spare) {
            *error = QStringLiteral("%1 is not on the keyboard layout and no spare key is free").arg(what);
            return std::nullopt;
        }
        // Its capital is the second level: Shift selects it, Caps Lock too,
        // and both together give the small letter again.
        const bool capital = sym != spare->sym;
        const bool lockOn = fixedMods & LockMask;
        stroke = Stroke{spare->code, capital != lockOn && changesWithLock(spare->sym) ? ShiftMask : 0u};
    }
    stroke->mods |= userMods;
    return stroke;
}

void X11KeySender::press(KeyCode code)
{
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    down_.push_back(code);
    noteEvent('+', code);
}

void X11KeySender::release(KeyCode code)
{
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    noteEvent('-', code);
    if (auto it = std::find(down_.rbegin(), down_.rend(), code); it != down_.rend())
        down_.erase(std::next(it).base());
}

void X11KeySender::releaseAll()
{
    while (!down_.empty())
        release(down_.back());
    XFlush(display_);
}

void X11KeySender::putBackIdleSpares(Clock::duration idleFor)
{
    const auto now = Clock::now();
    for (Spare& spare : spares_) {
        if (spare.sym == NoSymbol || now - spare.lastUsed < idleFor)
            continue;
        waitForReaders(spare.lastUsed);
        KeySym none = NoSymbol;
        XChangeKeyboardMapping(display_, spare.code, 1, &none, 1);
        spare.sym = NoSymbol;
    }
}

void X11KeySender::noteEvent(char sign, KeyCode code)
{
    if (!trace_.on())
        return;
    // The key's first symbol in the group in use names it for people; the
    // keycode is what a client's events can be matched against.
    KeySym sym = NoSymbol;
    for (const Spare& spare : spares_)
        if (spare.code == code)
            sym = spare.sym;
    if (sym == NoSymbol && keymap_ && indexedGroup_ >= 0 && XkbKeyNumGroups(keymap_, code) > 0)
        sym = XkbKeySymEntry(keymap_, code, 0, effectiveGroup(code, unsigned(indexedGroup_)));
    trace_.note(sign, code, sym != NoSymbol ? XKeysymToString(sym) : nullptr);
}

SendResult X11KeySender::sendActions(const std::vector<KeyAction>& actions, bool wait)
{
    return trace_.around(actions, [&] { return typeActions(actions, wait); });
}

SendResult X11KeySender::typeActions(const std::vector<KeyAction>& actions, bool wait)
{
    readPendingEvents();
    putBackIdleSpares(SpareIdle);
    putBackIdleLatinGroups(SpareIdle);
    if (keymapStale_ || !keymap_)
        loadKeymap();
    if (!keymap_)
        return SendResult::failure(QStringLiteral("the keyboard layout could not be read"));

    XkbStateRec state{};
    XkbGetState(display_, XkbUseCoreKbd, &state);
    if (indexedGroup_ != state.group)
        indexGroup(state.group);
    const unsigned fixedMods = state.mods;

    // Refuse the whole string before anything is pressed if a character
    // could never be typed.
    for (const KeyAction& action : actions) {
        const bool known = action.key != NamedKey::None
            ? (syms_.contains(namedKeySym(action.key)) || !spares_.empty())
            : (chars_.contains(action.character) || shortcutKey(action)
               || (xkb_utf32_to_keysym(action.character) != NoSymbol && !spares_.empty()));
        if (!known) {
            const QString what = keyDescription(action);
            return SendResult::failure(QStringLiteral("%1 cannot be typed on this keyboard layout").arg(what));
        }
    }

    for (const KeyAction& action : actions) {
        QString error;
        const auto stroke = resolve(action, fixedMods, &error);
        if (!stroke) {
            releaseAll();
            return SendResult::failure(error);
        }
        std::vector<KeyCode> modifiers;
        for (int bit = 0; bit < 8; ++bit) {
            const unsigned m = 1u << bit;
            if ((stroke->mods & m) && !(fixedMods & m) && modifierKey_[bit]
                && std::find(modifiers.begin(), modifiers.end(), modifierKey_[bit]) == modifiers.end())
                modifiers.push_back(modifierKey_[bit]);
        }
        for (KeyCode m : modifiers)
            press(m);
        press(stroke->code);
        release(stroke->code);
        for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it)
            release(*it);
        for (Spare& spare : spares_)
            if (spare.code == stroke->code)
                spare.lastUsed = Clock::now();
        if (SignalBlock::stopRequested()) {
            XFlush(display_);
            return SendResult::failure(QStringLiteral("interrupted"));
        }
    }

    if (wait)
        XSync(display_, False);
    else
        XFlush(display_);
    return SendResult::success();
}

} // namespace kelvo
