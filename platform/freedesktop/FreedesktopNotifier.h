#pragma once
// Notices through the desktop's notification service
// (org.freedesktop.Notifications), as every Linux desktop offers one: GNOME
// Shell, Plasma, and a daemon of its own on the others (mako, dunst).

#include "platform/Notifier.h"

#include <QDBusConnection>
#include <QObject>

#include <vector>

class QEventLoop;

namespace kelvo {

class FreedesktopNotifier final : public Notifier {
public:
    // Shows notices through the service on `bus` (the session bus), as the
    // program whose icon and menu entry are named `appId`.
    FreedesktopNotifier(QDBusConnection bus, QString appId);
    ~FreedesktopNotifier() override;

    void show(const Notice& notice) override;
    void settle(int ms) override;

private:
    enum class Service {
        Unknown, // not asked yet
        Asking,  // asked for its capabilities
        Known,   // it answered
        Absent,  // no service, or one that does not answer
    };

    void askCapabilities();
    void notify(const Notice& notice);
    QString body(const Notice& notice) const;
    void finished();
    bool busy() const { return service_ == Service::Asking || inFlight_ > 0; }

    QDBusConnection bus_;
    QString appId_;
    Service service_ = Service::Unknown;
    bool markup_ = false;     // the body is read as markup
    bool hyperlinks_ = false; // and its links can be followed
    std::vector<Notice> waiting_; // for the service's capabilities
    int inFlight_ = 0;
    QEventLoop* settling_ = nullptr;
    QObject context_; // of the replies' handlers, which go with it
};

} // namespace kelvo
