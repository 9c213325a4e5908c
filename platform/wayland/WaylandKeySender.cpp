#include "platform/wayland/WaylandKeySender.h"

#include "platform/wayland/KwinLayouts.h"
#include "platform/wayland/WaylandConnection.h"
#include "platform/wayland/WaylandSession.h"
#include "fake-input-client-protocol.h"
#include "virtual-keyboard-client-protocol.h"

#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/mman.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace kelvo {

namespace {

// How long clients may take to start listening to the seat's keyboard when
// ours is the one that gave the seat a keyboard at all.
constexpr auto SeatKeyboardSettle = std::chrono::milliseconds(150);

// A long string goes out in bursts of this many keys, a round trip after
// each, and at most one key a StrokeSpacing on the whole: the compositor
// cuts off a client whose events pile up unread (a terminal busy drawing),
// and a string of thousands of keys sent at once would pile up that way.
constexpr int StrokeBurst = 16;
constexpr auto StrokeSpacing = std::chrono::microseconds(1000);

// Fake input's keys came with this version.
constexpr std::uint32_t FakeInputKeysSince = 4;
// From version 6 (Plasma 6.5) KWin types a key symbol itself: on the
// user's layout with the modifiers it needs, or on a key it sets aside.
constexpr std::uint32_t FakeInputKeysymsSince = 6;

// What KWin may show a person who is asked whether Kelvo may type.
constexpr const char* FakeInputApplication = "Kelvo";
constexpr const char* FakeInputReason = "to type the keys you rest the mouse pointer on";

// Wayland numbers keys as the kernel does; xkbcommon and X11 add 8.
constexpr xkb_keycode_t EvdevOffset = 8;

std::uint32_t nowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint32_t>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

QString connectionLost(const WaylandConnection& connection)
{
    return QStringLiteral("lost the connection to the Wayland compositor \"%1\"").arg(connection.name());
}

// The key symbol of a parsed key: its named key's, or its character's.
xkb_keysym_t symbolOf(const KeyAction& action)
{
    return action.key != NamedKey::None ? namedKeySym(action.key) : xkb_utf32_to_keysym(action.character);
}

// What the keymap's Shift, Control and Alt set for a key's modifiers.
xkb_mod_mask_t modifierMask(const KeymapIndex& index, unsigned modifiers)
{
    return (modifiers & ModShift ? index.shiftMask() : 0) | (modifiers & ModCtrl ? index.controlMask() : 0)
        | (modifiers & ModAlt ? index.altMask() : 0);
}

} // namespace

SenderOpening WaylandKeySender::open(std::unique_ptr<WaylandConnection> connection, bool trace)
{
    const QString name = connection->name();
    const WaylandConnection::Global* fakeInput = connection->find(org_kde_kwin_fake_input_interface.name);
    if (!connection->find(zwp_virtual_keyboard_manager_v1_interface.name)) {
        if (!fakeInput)
            return {nullptr, SenderProblem::NoInjection,
                    QStringLiteral("the Wayland compositor \"%1\" offers no virtual keyboard "
                                   "(zwp_virtual_keyboard_manager_v1) and no fake input "
                                   "(org_kde_kwin_fake_input): keystrokes cannot be sent")
                        .arg(name)};
        if (fakeInput->version < FakeInputKeysSince)
            return {nullptr, SenderProblem::NoInjection,
                    QStringLiteral("the Wayland compositor \"%1\" offers fake input (org_kde_kwin_fake_input) "
                                   "only in version %2, which has no keys (they came with version %3)")
                        .arg(name)
                        .arg(fakeInput->version)
                        .arg(FakeInputKeysSince)};
    }
    if (!connection->find(wl_seat_interface.name))
        return {nullptr, SenderProblem::NoInjection,
                QStringLiteral("the Wayland compositor \"%1\" has no seat to type on").arg(name)};
    std::unique_ptr<WaylandKeySender> sender(new WaylandKeySender(std::move(connection), trace));
    if (const QString error = sender->start(); !error.isEmpty())
        return {nullptr, SenderProblem::NoInjection, error};
    return {std::move(sender), SenderProblem::None, {}};
}

bool WaylandKeySender::compositorGone(int waitMs) const
{
    if (connection_->broken())
        return true;
    // Only a hang-up ends the wait: events to read return at once.
    const auto until = Clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        pollfd hangup{wl_display_get_fd(connection_->display()), 0, 0};
        if (poll(&hangup, 1, 0) > 0 && (hangup.revents & (POLLHUP | POLLERR)))
            return true;
        if (Clock::now() >= until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

QString WaylandKeySender::lostMessage() const
{
    return connectionLost(*connection_);
}

WaylandKeySender::WaylandKeySender(std::unique_ptr<WaylandConnection> connection, bool trace)
    : connection_(std::move(connection))
    , trace_(trace)
{
}

WaylandKeySender::~WaylandKeySender()
{
    unwatchCompositor(this);
    if ((keyboard_ || fakeInput_) && !connection_->broken()) {
        releaseAll();
        if (keyboard_)
            zwp_virtual_keyboard_v1_destroy(keyboard_);
        wl_display_roundtrip(connection_->display());
    }
    // Fake input has no destructor request: the proxy alone goes.
    if (fakeInput_) {
        if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(fakeInput_)) >= ORG_KDE_KWIN_FAKE_INPUT_DESTROY_SINCE_VERSION)
            org_kde_kwin_fake_input_destroy(fakeInput_);
        else
            wl_proxy_destroy(reinterpret_cast<wl_proxy*>(fakeInput_));
    }
    if (manager_)
        zwp_virtual_keyboard_manager_v1_destroy(manager_);
    seat_.reset();
    keymap_.reset();
    if (context_)
        xkb_context_unref(context_);
}

QString WaylandKeySender::start()
{
    context_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!context_)
        return QStringLiteral("keyboard layouts cannot be read (xkbcommon)");
    keymap_ = std::make_unique<SpareKeymap>(context_);

    // The seat's keymap is ours for as long as ours was typed on last.
    seat_ = std::make_unique<SeatKeymap>(*connection_, &SpareKeymap::isOurs);
    manager_ = static_cast<zwp_virtual_keyboard_manager_v1*>(
        connection_->bind(&zwp_virtual_keyboard_manager_v1_interface, 1));
    // The seat's capabilities, then the keymap of its keyboard, if it has one.
    wl_display* display = connection_->display();
    if (wl_display_roundtrip(display) < 0 || wl_display_roundtrip(display) < 0)
        return connectionLost(*connection_);

    QString error;
    if (seat_->takeNew())
        error = keymap_->setBase(seat_->text());
    if (seat_->text().empty() || !error.isEmpty()) {
        // No keyboard on the seat yet: the layout the environment names (the
        // XKB_DEFAULT_* variables), else xkbcommon's default.
        xkb_keymap* fallback = xkb_keymap_new_from_names(context_, nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS);
        if (!fallback)
            return QStringLiteral("no keyboard layout could be made (xkbcommon)");
        error = keymap_->setBase(fallback);
        xkb_keymap_unref(fallback);
        if (!error.isEmpty())
            return error;
    }

    const bool seatHadKeyboard = seat_->hasKeyboard();
    if (const QString refused = startDevice(); !refused.isEmpty())
        return refused;
    if (!seatHadKeyboard)
        firstKeyAt_ = Clock::now() + SeatKeyboardSettle;
    return {};
}

QString WaylandKeySender::startDevice()
{
    wl_display* display = connection_->display();
    if (manager_) {
        keyboard_ = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager_, seat_->seat());
        upload();
        if (wl_display_roundtrip(display) < 0)
            return QStringLiteral("the Wayland compositor \"%1\" refused a virtual keyboard").arg(connection_->name());
        return {};
    }
    const std::uint32_t offered = connection_->find(org_kde_kwin_fake_input_interface.name)->version;
    fakeInput_ = static_cast<org_kde_kwin_fake_input*>(connection_->bind(
        &org_kde_kwin_fake_input_interface, std::min(offered, FakeInputKeysymsSince)));
    org_kde_kwin_fake_input_authenticate(fakeInput_, FakeInputApplication, FakeInputReason);
    // The device may be what gives the seat a keyboard: its keymap follows,
    // taken in by the first send.
    if (wl_display_roundtrip(display) < 0 || wl_display_roundtrip(display) < 0)
        return QStringLiteral("the Wayland compositor \"%1\" refused its fake input").arg(connection_->name());
    return {};
}

xkb_layout_index_t WaylandKeySender::layoutInUse() const
{
    if (xkb_keymap_num_layouts(keymap_->index()->keymap()) <= 1)
        return 0;
    return kwinLayoutInUse().value_or(0);
}

int WaylandKeySender::fd() const
{
    return wl_display_get_fd(connection_->display());
}

bool WaylandKeySender::readEvents()
{
    wl_display* display = connection_->display();
    while (wl_display_prepare_read(display) != 0)
        if (wl_display_dispatch_pending(display) < 0)
            return false;
    if (wl_display_flush(display) < 0 && errno != EAGAIN) {
        wl_display_cancel_read(display);
        return false;
    }
    pollfd ready{wl_display_get_fd(display), POLLIN, 0};
    if (poll(&ready, 1, 0) > 0) {
        if (wl_display_read_events(display) < 0)
            return false;
    } else {
        wl_display_cancel_read(display);
    }
    return wl_display_dispatch_pending(display) >= 0 && !connection_->broken();
}

void WaylandKeySender::upload()
{
    const std::string& text = keymap_->text();
    const int fd = memfd_create("kelvo-keymap", MFD_CLOEXEC);
    if (fd < 0)
        return;
    // The protocol wants the terminating NUL inside the size.
    const size_t size = text.size() + 1;
    size_t written = 0;
    while (written < size) {
        const ssize_t n = write(fd, text.c_str() + written, size - written);
        if (n <= 0)
            break;
        written += size_t(n);
    }
    if (written == size) {
        zwp_virtual_keyboard_v1_keymap(keyboard_, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, std::uint32_t(size));
        uploaded_ = text;
    }
    close(fd);
}

QString WaylandKeySender::prepare(const std::vector<KeyAction>& actions)
{
    if (!readEvents())
        return connectionLost(*connection_);
    // A keymap that does not compile leaves the last good one in use.
    if (seat_->takeNew())
        keymap_->setBase(seat_->text());
    // Fake input types the keymap's own keys alone.
    if (fakeInput_)
        return {};
    std::vector<xkb_keysym_t> missing;
    for (const KeyAction& action : actions) {
        if (keymap_->index()->resolve(action))
            continue;
        const xkb_keysym_t sym = symbolOf(action);
        if (sym == XKB_KEY_NoSymbol)
            return QStringLiteral("%1 has no key symbol and cannot be typed").arg(keyDescription(action));
        missing.push_back(sym);
    }
    for (;;) {
        const SpareKeymap::Reservation reserved = keymap_->reserve(missing, Clock::now());
        if (!reserved.error.isEmpty())
            return reserved.error;
        if (!reserved.wait)
            break;
        wl_display_flush(connection_->display());
        std::this_thread::sleep_for(*reserved.wait);
    }
    if (keymap_->text() != uploaded_)
        upload();
    return {};
}

void WaylandKeySender::key(xkb_keycode_t code, bool down)
{
    const std::uint32_t state = down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED;
    if (fakeInput_)
        org_kde_kwin_fake_input_keyboard_key(fakeInput_, code - EvdevOffset, state);
    else
        zwp_virtual_keyboard_v1_key(keyboard_, nowMs(), code - EvdevOffset, state);
    if (down) {
        down_.push_back(code);
    } else if (auto it = std::find(down_.rbegin(), down_.rend(), code); it != down_.rend()) {
        down_.erase(std::next(it).base());
    }
    if (trace_.on()) {
        char name[64] = "";
        const KeymapIndex* index = keymap_->index();
        const xkb_keysym_t sym = index ? index->baseSymbol(code, keymap_->isSpare(code) ? 0 : layout_) : 0;
        trace_.note(down ? '+' : '-', code, sym && xkb_keysym_get_name(sym, name, sizeof name) > 0 ? name : nullptr);
    }
}

void WaylandKeySender::keysym(xkb_keysym_t sym, bool down)
{
    org_kde_kwin_fake_input_keyboard_keysym(fakeInput_, sym,
                                            down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
    if (trace_.on()) {
        // No keycode of ours: KWin chooses the key.
        char name[64] = "";
        trace_.note(down ? '+' : '-', 0, xkb_keysym_get_name(sym, name, sizeof name) > 0 ? name : nullptr);
    }
}

bool WaylandKeySender::fakeInputTypesKeysyms() const
{
    return fakeInput_
        && wl_proxy_get_version(reinterpret_cast<wl_proxy*>(fakeInput_)) >= FakeInputKeysymsSince;
}

void WaylandKeySender::setModifiers(xkb_mod_mask_t mods, xkb_layout_index_t layout)
{
    if (mods == mods_ && layout == layout_)
        return;
    // Fake input's modifiers are those of the keys it holds, as on a
    // hardware keyboard.
    if (keyboard_)
        zwp_virtual_keyboard_v1_modifiers(keyboard_, mods, 0, 0, layout);
    mods_ = mods;
    layout_ = layout;
}

void WaylandKeySender::releaseAll()
{
    while (!down_.empty())
        key(down_.back(), false);
    setModifiers(0, layout_);
    wl_display_flush(connection_->display());
}

SendResult WaylandKeySender::sendActions(const std::vector<KeyAction>& actions, bool wait)
{
    return trace_.around(actions, [&] { return typeActions(actions, wait); });
}

SendResult WaylandKeySender::typeActions(const std::vector<KeyAction>& actions, bool wait)
{
    if (const QString error = prepare(actions); !error.isEmpty())
        return SendResult::failure(error);
    // Every key is found before the first is pressed, so a string is typed
    // whole or not at all.
    const KeymapIndex& index = *keymap_->index();
    std::vector<KeymapIndex::Stroke> strokes;
    // Fake input cannot state a layout: the one in use must have the key,
    // or (from version 6) KWin is handed its symbol, with the modifiers
    // around it as keys of the layout: a key symbol stroke has code 0.
    const std::optional<xkb_layout_index_t> layout = fakeInput_ ? std::optional(layoutInUse()) : std::nullopt;
    std::vector<xkb_keysym_t> symbols;
    for (const KeyAction& action : actions) {
        auto stroke = index.resolve(action, layout);
        if (!stroke && fakeInput_)
            stroke = index.shortcutAtUsPlace(action, *layout);
        const xkb_keysym_t sym = stroke || !fakeInputTypesKeysyms() ? XKB_KEY_NoSymbol : symbolOf(action);
        if (sym != XKB_KEY_NoSymbol)
            stroke = KeymapIndex::Stroke{0, *layout, modifierMask(index, action.modifiers)};
        if (!stroke && fakeInput_)
            return SendResult::failure(QStringLiteral("%1 is not on the keyboard layout in use, and KDE's fake input "
                                                      "can type only the keys of that layout")
                                           .arg(keyDescription(action)));
        if (!stroke)
            return SendResult::failure(
                QStringLiteral("%1 cannot be typed on this keyboard layout").arg(keyDescription(action)));
        strokes.push_back(*stroke);
        symbols.push_back(sym);
    }
    if (const auto now = Clock::now(); now < firstKeyAt_) {
        wl_display_flush(connection_->display());
        std::this_thread::sleep_for(firstKeyAt_ - now);
    }

    const auto started = Clock::now();
    int typed = 0;
    wl_display* display = connection_->display();
    for (std::size_t i = 0; i < strokes.size(); ++i) {
        const KeymapIndex::Stroke& stroke = strokes[i];
        if (typed > 0 && typed % StrokeBurst == 0) {
            if (wl_display_roundtrip(display) < 0)
                return SendResult::failure(connectionLost(*connection_));
            std::this_thread::sleep_until(started + typed * StrokeSpacing);
        }
        ++typed;
        const std::vector<xkb_keycode_t> modifiers = index.modifierKeys(stroke.mods);
        setModifiers(mods_, stroke.layout);
        for (xkb_keycode_t modifier : modifiers)
            key(modifier, true);
        setModifiers(stroke.mods, stroke.layout);
        if (symbols[i] != XKB_KEY_NoSymbol) {
            keysym(symbols[i], true);
            keysym(symbols[i], false);
        } else {
            key(stroke.code, true);
            key(stroke.code, false);
            keymap_->pressed(stroke.code, Clock::now());
        }
        for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it)
            key(*it, false);
        setModifiers(0, stroke.layout);
        if (SignalBlock::stopRequested()) {
            releaseAll();
            return SendResult::failure(QStringLiteral("interrupted"));
        }
    }

    if ((wait ? wl_display_roundtrip(display) : wl_display_flush(display)) < 0 && (wait || errno != EAGAIN))
        return SendResult::failure(connectionLost(*connection_));
    return SendResult::success();
}

} // namespace kelvo
