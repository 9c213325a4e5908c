#pragma once
// The keyboard's one icon in the notification area. It brings a minimised
// keyboard back (a left-button release over it), and where the desktop has
// no notice service of its own (Windows), its balloon shows the notices.

#include "platform/Notifier.h"

#include <QIcon>
#include <QObject>
#include <QPointer>

#include <vector>

class QScreen;
class QSystemTrayIcon;

namespace kelvo {

class mdlTray : public QObject, public Notifier {
    Q_OBJECT

public:
    explicit mdlTray(QObject* parent = nullptr);
    ~mdlTray() override;

    // Shows the icon with its tip; a notification area that appears later
    // gets it then.
    void AddIcon(const QIcon& icon, const QString& tip);
    // Takes the icon away; it stays away until AddIcon.
    void RemoveIcon();
    // True while a notification area holds the icon.
    bool IsShown() const;

    // Shows `notice` in the icon's balloon; one told before the icon shows
    // waits for it.
    void show(const Notice& notice) override;

signals:
    // The left mouse button was released over the icon.
    void LeftButtonUp();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void trayHostChanged(QScreen* screen);

private:
    void activated(int reason);
    bool hasEmbeddedIcon() const;
    void watchEmbeddedIcon();

    QPointer<QSystemTrayIcon> icon_;
    std::vector<Notice> waiting_; // for the icon to show
};

} // namespace kelvo
