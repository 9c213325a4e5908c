#include "platform/TroubleNotices.h"

namespace kelvo {

namespace {

const QString GuidePage = QStringLiteral("troubleshooting.html");
const QString GuideTitle = QStringLiteral("Troubleshooting");

// KDE Plasma grants its fake input to the programs its menu names, with no
// question asked: the way in there, whatever else failed.
const QString KdeStep = QStringLiteral(
    "install Kelvo from its package: KDE Plasma lets a program type only when an installed menu entry names it.");

QString capitalised(const QString& text)
{
    return text.isEmpty() ? text : text.front().toUpper() + text.mid(1);
}

// A clause as the first sentence of a notice.
QString sentence(const QString& clause)
{
    return clause.isEmpty() ? clause : capitalised(clause) + u'.';
}

QString everyProgram(const QString& step)
{
    return QStringLiteral("To type into every program, ") + step;
}

} // namespace

TroubleNotices::TroubleNotices(bool stderrIsTerminal, QString guide, bool kde)
    : quiet_(stderrIsTerminal), guide_(std::move(guide)), kde_(kde)
{
}

void TroubleNotices::useNotifier(Notifier* notifier)
{
    notifier_ = notifier;
    if (!notifier_)
        return;
    for (const Notice& notice : held_)
        notifier_->show(notice);
    held_.clear();
}

void TroubleNotices::tell(const QString& summary, const QString& said, const QString& step, const char* anchor)
{
    if (quiet_)
        return;
    const Notice notice{summary, sentence(said) + u'\n' + step,
                        guide_ + GuidePage + u'#' + QLatin1String(anchor), GuideTitle};
    if (notifier_)
        notifier_->show(notice);
    else
        held_.push_back(notice);
}

void TroubleNotices::cannotType(NoWay why, const QString& said)
{
    QString step;
    switch (why) {
    case NoWay::NoDisplay:
        step = QStringLiteral("Start Kelvo from the desktop's menu, or from its list of programs started at login, "
                              "so that it finds the display.");
        break;
    case NoWay::NoXDisplay:
        step = kde_ ? capitalised(KdeStep)
                    : QStringLiteral("Start Kelvo on one of the desktops the user guide names, or in a session "
                                     "with XWayland.");
        break;
    case NoWay::NoXTest:
        step = QStringLiteral("Start the X server with its XTest and XKB extensions, as X servers do unless told "
                              "otherwise.");
        break;
    case NoWay::Other:
        step = QStringLiteral("Start Kelvo on one of the desktops the user guide names.");
        break;
    }
    tell(QStringLiteral("Kelvo cannot type on this desktop"), said, step, "cannot-type");
}

void TroubleNotices::x11ProgramsOnly(OnlyX11 why, const QString& said)
{
    QString step;
    switch (why) {
    case OnlyX11::QtPlatform:
        step = everyProgram(QStringLiteral("start Kelvo without QT_QPA_PLATFORM set."));
        break;
    case OnlyX11::NoWayland:
        step = everyProgram(QStringLiteral("start Kelvo again once the desktop has started."));
        break;
    case OnlyX11::PortalMissing:
        step = everyProgram(kde_ ? KdeStep
                                 : QStringLiteral("install this desktop's portal (xdg-desktop-portal and its part "
                                                  "for GNOME or KDE), then log out and in again."));
        break;
    case OnlyX11::NotAllowed:
        step = everyProgram(kde_ ? KdeStep
                                 : QStringLiteral("quit Kelvo, start it again and allow it when the desktop asks."));
        break;
    }
    tell(QStringLiteral("Kelvo types into X11 programs only"), said, step, "x11-programs-only");
}

void TroubleNotices::notRemembered(const QString& said, const QString& folder)
{
    tell(QStringLiteral("Kelvo cannot remember the desktop's permission"), said,
         QStringLiteral("Make sure you can write to the folder %1; until then the desktop asks for the permission "
                        "at every start.")
             .arg(folder),
         "permission-not-remembered");
}

void TroubleNotices::settle(int ms)
{
    if (notifier_)
        notifier_->settle(ms);
}

} // namespace kelvo
