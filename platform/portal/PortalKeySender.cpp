#include "platform/portal/PortalKeySender.h"

#include "platform/xkb/KeymapIndex.h"

#include <thread>

namespace kelvo {

namespace {

// A fresh remote-desktop session adds its keyboard to the seat with its
// first event, and that event goes nowhere: clients start listening to the
// seat's keyboard only once it has one. A lone Shift is that first event,
// and clients get this long to bind the keyboard before the first real key.
constexpr quint32 Harmless = XKB_KEY_Shift_L;
constexpr auto FirstKeySettle = std::chrono::milliseconds(150);
// How long the first key waits for the seat to show a keyboard (Mutter 48
// makes the remote desktop's only at its first key, and busy, may take a
// while to tell).
constexpr auto SeatKeyboardWait = std::chrono::milliseconds(1500);

struct Modifier {
    KeyModifier bit;
    xkb_keysym_t sym;
};
constexpr Modifier Modifiers[] = {
    {ModShift, XKB_KEY_Shift_L}, {ModCtrl, XKB_KEY_Control_L}, {ModAlt, XKB_KEY_Alt_L}};

} // namespace

PortalKeySender::PortalKeySender(std::unique_ptr<KeySender> fallback, KeymapLookup keymap, bool trace,
                                 SeatKeyboard seatKeyboard)
    : fallback_(std::move(fallback)), keymap_(std::move(keymap)), seatKeyboard_(std::move(seatKeyboard)), trace_(trace)
{
}

PortalKeySender::~PortalKeySender() = default;

void PortalKeySender::ask(QDBusConnection bus, const QString& parentWindow, Teller tell,
                          RemoteDesktopPortal::Remembering remembering, Noter note)
{
    if (portal_)
        return;
    tell_ = std::move(tell);
    portal_ = std::make_unique<RemoteDesktopPortal>(std::move(bus), std::move(remembering));
    if (note)
        QObject::connect(portal_.get(), &RemoteDesktopPortal::notice, portal_.get(), std::move(note));
    QObject::connect(portal_.get(), &RemoteDesktopPortal::granted, portal_.get(), [this] { onGranted(); });
    QObject::connect(portal_.get(), &RemoteDesktopPortal::unavailable, portal_.get(),
                     [this](const QString& why, RemoteDesktopPortal::Failure failure) {
                         if (tell_)
                             tell_(false, why, failure);
                     });
    portal_->ask(parentWindow);
}

bool PortalKeySender::throughPortal() const
{
    return portal_ && portal_->state() == RemoteDesktopPortal::State::Granted;
}

void PortalKeySender::onGranted()
{
    // Told first: a session lost at its first event is then told as the
    // grant lost, after the grant.
    if (tell_)
        tell_(true, {}, {});
    portal_->notifyKeysym(Harmless, true);
    portal_->notifyKeysym(Harmless, false);
    firstKeyAt_ = Clock::now() + FirstKeySettle;
}

SendResult PortalKeySender::send(const QString& keys, bool wait)
{
    if (!throughPortal())
        return fallback_->send(keys, wait);
    return KeySender::send(keys, wait);
}

bool PortalKeySender::key(quint32 keysym, bool pressed)
{
    char name[64];
    if (xkb_keysym_get_name(keysym, name, sizeof name) <= 0)
        name[0] = '\0';
    trace_.note(pressed ? '+' : '-', keysym, name[0] ? name : nullptr);
    return portal_->notifyKeysym(keysym, pressed);
}

SendResult PortalKeySender::sendActions(const std::vector<KeyAction>& actions, bool wait)
{
    // Every key is looked up before any is sent: the compositor would drop
    // what its layout lacks and type the rest.
    const KeymapIndex* keymap = keymap_ ? keymap_() : nullptr;
    std::vector<xkb_keysym_t> syms;
    syms.reserve(actions.size());
    for (const KeyAction& action : actions) {
        const xkb_keysym_t sym = action.key != NamedKey::None ? namedKeySym(action.key)
                                                              : xkb_utf32_to_keysym(action.character);
        const bool known = keymap && (action.key != NamedKey::None ? keymap->keysym(sym).has_value()
                                                                   : keymap->character(action.character).has_value());
        if (sym == XKB_KEY_NoSymbol || (keymap && !known))
            return SendResult::failure(
                QStringLiteral("%1 is not on the keyboard layout in force, so the desktop would drop it; "
                               "nothing was typed")
                    .arg(keyDescription(action)));
        syms.push_back(sym);
    }
    if (firstKeyAt_) {
        // A seat that got its keyboard only with the harmless key: the
        // programs get as long again to listen to it.
        Clock::time_point at = *firstKeyAt_;
        if (seatKeyboard_)
            if (const auto since = seatKeyboard_(Clock::now() + SeatKeyboardWait))
                at = std::max(at, *since + FirstKeySettle);
        std::this_thread::sleep_until(at);
        firstKeyAt_.reset();
    }
    return trace_.around(actions, [&] {
        bool ok = true;
        for (std::size_t i = 0; i < actions.size() && ok; ++i) {
            for (const Modifier& m : Modifiers)
                if (actions[i].modifiers & m.bit)
                    ok = ok && key(m.sym, true);
            ok = ok && key(syms[i], true) && key(syms[i], false);
            for (auto m = std::rbegin(Modifiers); m != std::rend(Modifiers); ++m)
                if (actions[i].modifiers & m->bit)
                    ok = key(m->sym, false) && ok;
            if (SignalBlock::stopRequested())
                return SendResult::failure(QStringLiteral("interrupted"));
        }
        QString error;
        if (wait && !portal_->flush(&error))
            return SendResult::failure(error);
        if (!throughPortal())
            return SendResult::failure(QStringLiteral("the desktop portal's session ended while typing"));
        if (!ok)
            return SendResult::failure(QStringLiteral("the desktop portal did not take a key"));
        return SendResult::success();
    });
}

} // namespace kelvo
