#include "keyboard/mdlTray.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSystemTrayIcon>
#include <QWidget>

namespace kelvo {

namespace {

// Qt's own widget for an icon embedded in an X notification area.
bool isEmbeddedIcon(const QObject* object)
{
    return object->inherits("QSystemTrayIconSys");
}

// As long as the desktop lets a balloon stay.
constexpr int BalloonMs = 15000;

} // namespace

mdlTray::mdlTray(QObject* parent)
    : QObject(parent)
{
    // A notification area starting (or restarting) later announces itself.
    // (Only X11 has notification areas that come and go this way.)
    QObject* native = reinterpret_cast<QObject*>(QGuiApplication::platformNativeInterface());
    if (native && QGuiApplication::platformName() == u"xcb")
        // Queued: Qt docks its new icon window after telling us, and that
        // window is the one whose releases must be caught.
        connect(native, SIGNAL(systemTrayWindowChanged(QScreen*)), this,
                SLOT(trayHostChanged(QScreen*)), Qt::QueuedConnection);
}

mdlTray::~mdlTray()
{
    RemoveIcon();
}

void mdlTray::AddIcon(const QIcon& icon, const QString& tip)
{
    if (!icon_) {
        icon_ = new QSystemTrayIcon(this);
        connect(icon_, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) { activated(reason); });
    }
    icon_->setIcon(icon);
    icon_->setToolTip(tip);
    icon_->show();
    watchEmbeddedIcon();
    std::vector<Notice> waiting;
    waiting.swap(waiting_);
    for (const Notice& notice : waiting)
        show(notice);
}

void mdlTray::show(const Notice& notice)
{
    if (icon_ && icon_->isVisible())
        icon_->showMessage(notice.summary, notice.text(), QSystemTrayIcon::Warning, BalloonMs);
    else
        waiting_.push_back(notice);
}

void mdlTray::watchEmbeddedIcon()
{
    // The embedded icon reports presses only; the release we answer to has
    // to be caught on its way to it. (Filtering it alone, not every event of
    // the program, keeps the pointer tracking cheap.)
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (isEmbeddedIcon(window)) {
            window->removeEventFilter(this);
            window->installEventFilter(this);
        }
    }
}

void mdlTray::RemoveIcon()
{
    if (!icon_)
        return;
    icon_->hide();
    delete icon_;
}

bool mdlTray::IsShown() const
{
    return icon_ && icon_->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

bool mdlTray::hasEmbeddedIcon() const
{
    const QList<QWidget*> windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(),
                       [](const QWidget* w) { return isEmbeddedIcon(w); });
}

void mdlTray::trayHostChanged(QScreen*)
{
    // Qt re-docks an icon it has already embedded; one that found no
    // notification area at start has to be shown afresh.
    if (icon_ && QSystemTrayIcon::isSystemTrayAvailable() && !hasEmbeddedIcon()) {
        icon_->hide();
        icon_->show();
    }
    // A re-docked icon may be a new window, which needs the filter too.
    watchEmbeddedIcon();
}

void mdlTray::activated(int reason)
{
    // Notification areas spoken to over D-Bus report a click, not a release.
    if (reason == QSystemTrayIcon::Trigger && !hasEmbeddedIcon())
        emit LeftButtonUp();
}

bool mdlTray::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease && isEmbeddedIcon(watched)
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        emit LeftButtonUp();
    return false;
}

} // namespace kelvo
