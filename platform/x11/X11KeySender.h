#pragma once
// Types key strings into the focused X window through the XTest extension.
//
// Every character is looked up in the active keyboard layout (its current
// group and every shift level, AltGr and level 5 included); the modifiers
// that level needs are pressed around the key and released after it. A
// character the layout lacks is typed through a small pool of spare keycodes
// that are remapped on demand and put back when idle or at exit. A Ctrl or
// Alt shortcut with a Latin letter or digit the group lacks (on a Cyrillic
// or Greek layout, say) goes out as a hardware keyboard sends it: the key in
// that letter's place on a US keyboard, with the modifier held. Where no
// group of that key carries the letter, the key is lent a second group that
// does (and given back when idle or at exit), as "us" beside the layout
// would: applications that match shortcuts by symbol find it there.
//
// With tracing on, every key string sent is written to standard error as one
// line (see SendTrace).

#include "platform/Platform.h"
#include "platform/SendTrace.h"

#include <chrono>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

typedef struct _XDisplay Display;
typedef struct _XkbDesc* XkbDescPtr;

namespace kelvo {

class X11KeySender final : public KeySender {
public:
    // Connects to the display named by DISPLAY; reports a missing display or
    // a server without XTest or XKB. With trace, every send is written to
    // standard error as above. A connection lost later ends the process with
    // status 1 and a message, as no keystroke can go anywhere then.
    static SenderOpening open(bool trace = false);

    // Releases any key still held and puts the spare keycodes back.
    ~X11KeySender() override;

    X11KeySender(const X11KeySender&) = delete;
    X11KeySender& operator=(const X11KeySender&) = delete;

protected:
    SendResult sendActions(const std::vector<KeyAction>& actions, bool wait) override;

private:
    using Clock = std::chrono::steady_clock;
    using KeyCode = unsigned char;
    using KeySym = unsigned long;

    // A key position in the current group: its keycode and shift level.
    struct Location {
        KeyCode code;
        unsigned level;
    };
    // A keycode with no symbols of its own, lent to characters the layout lacks.
    struct Spare {
        KeyCode code;
        KeySym sym = 0;               // what we mapped onto it; 0 while free
        Clock::time_point lastUsed{}; // last press, or last remap
    };
    // One keystroke ready to send: the key and the real modifiers held around it.
    struct Stroke {
        KeyCode code;
        unsigned mods;
    };

    X11KeySender(Display* display, int xkbEventBase, bool trace);

    void readPendingEvents();
    void loadKeymap();
    void refreshSpares();
    void indexGroup(unsigned group);
    unsigned effectiveGroup(KeyCode code, unsigned group) const;
    std::optional<unsigned> modsForLevel(KeyCode code, unsigned group, unsigned level,
                                         unsigned fixedMods) const;
    std::optional<Stroke> findOnLayout(const std::vector<Location>* where, unsigned fixedMods) const;
    std::optional<Stroke> resolve(const KeyAction& action, unsigned fixedMods, QString* error);
    std::optional<KeyCode> shortcutKey(const KeyAction& action) const;
    void lendLatinGroup(KeyCode code, char32_t letter);
    void putBackIdleLatinGroups(Clock::duration idleFor);
    void waitForReaders(Clock::time_point lastUsed);
    Spare* spareFor(KeySym sym);
    bool isSpare(KeyCode code) const;
    void press(KeyCode code);
    void release(KeyCode code);
    void releaseAll();
    void putBackIdleSpares(Clock::duration idleFor);
    SendResult typeActions(const std::vector<KeyAction>& actions, bool wait);
    void noteEvent(char sign, KeyCode code);

    Display* display_;
    int xkbEventBase_;
    XkbDescPtr keymap_ = nullptr;
    bool keymapStale_ = true;
    int indexedGroup_ = -1;
    std::unordered_map<char32_t, std::vector<Location>> chars_;
    std::unordered_map<KeySym, std::vector<Location>> syms_;
    std::unordered_map<char32_t, KeyCode> usPlaces_; // a-z, 0-9: the key in its US place
    KeyCode modifierKey_[8] = {};   // a keycode that sets each real modifier
    unsigned altMask_ = 0;          // the real modifier that Alt sets
    std::vector<Spare> spares_;
    // A key lent a second group with its US letter: its core symbols before.
    struct LentKey {
        KeyCode code;
        KeySym letter;
        std::vector<KeySym> before;
        Clock::time_point lastUsed;
    };
    std::vector<LentKey> lentKeys_;
    std::vector<KeyCode> down_;     // keys we hold right now
    SendTrace trace_;               // each send on standard error, when asked for
};

} // namespace kelvo
