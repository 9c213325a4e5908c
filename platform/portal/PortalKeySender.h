#pragma once
// Types through the desktop portal's remote-desktop keyboard once the user
// has allowed it, and through another sender (XTest into XWayland) until
// then, or for good when it is refused or lost.
//
// The portal takes keysyms and the compositor finds the key and level for
// each in the layout in force; one it lacks is dropped without a word, so
// every key of a string is looked up in the seat's keymap first and a
// string with any key it lacks is refused whole. Shift, Ctrl and Alt are
// their keysyms pressed around the key.

#include "platform/KeySender.h"
#include "platform/SendTrace.h"
#include "platform/portal/RemoteDesktopPortal.h"

#include <QDBusConnection>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace kelvo {

class KeymapIndex;

class PortalKeySender final : public KeySender {
public:
    // The keymap in force, looked at before each send; null when unknown,
    // in which case the compositor's is taken on trust.
    using KeymapLookup = std::function<const KeymapIndex*()>;
    // Told what came of the question: granted, or why not (a clause for
    // people, and what kind of failure it is); once more, not granted,
    // should a granted session be lost.
    using Teller = std::function<void(bool granted, const QString& why, RemoteDesktopPortal::Failure failure)>;
    // Told what the user should know about the remembered answer, as
    // RemoteDesktopPortal::notice tells it.
    using Noter = std::function<void(RemoteDesktopPortal::NoteKind kind, const QString& text, const QString& why)>;
    // When the seat was first seen with a keyboard, waiting until the time
    // given for one; empty when none came.
    using SeatKeyboard = std::function<std::optional<std::chrono::steady_clock::time_point>(
        std::chrono::steady_clock::time_point deadline)>;

    PortalKeySender(std::unique_ptr<KeySender> fallback, KeymapLookup keymap, bool trace,
                    SeatKeyboard seatKeyboard = nullptr);
    ~PortalKeySender() override;

    // Asks the portal on `bus` for the keyboard, once, without waiting;
    // `parentWindow` as RemoteDesktopPortal::ask takes it, `remembering` as
    // its constructor. `note` hears what the user should know about the
    // remembered answer.
    void ask(QDBusConnection bus, const QString& parentWindow, Teller tell,
             RemoteDesktopPortal::Remembering remembering = {}, Noter note = nullptr);
    // True once keys go through the portal.
    bool throughPortal() const;

    SendResult send(const QString& keys, bool wait) override;

protected:
    SendResult sendActions(const std::vector<KeyAction>& actions, bool wait) override;

private:
    using Clock = std::chrono::steady_clock;

    void onGranted();
    bool key(quint32 keysym, bool pressed);

    std::unique_ptr<KeySender> fallback_;
    KeymapLookup keymap_;
    SeatKeyboard seatKeyboard_;
    std::unique_ptr<RemoteDesktopPortal> portal_;
    Teller tell_;
    std::optional<Clock::time_point> firstKeyAt_; // the settle after the session's first event
    SendTrace trace_;
};

} // namespace kelvo
