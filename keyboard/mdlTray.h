#pragma once
// The keyboard's one icon in the notification area. Its only use is to
// bring a minimised keyboard back: a left-button release over it.

#include <QIcon>
#include <QObject>
#include <QPointer>

class QScreen;
class QSystemTrayIcon;

namespace kelvo {

class mdlTray : public QObject {
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
};

} // namespace kelvo
