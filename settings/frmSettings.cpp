#include "settings/frmSettings.h"

#include "button/FontFace.h"
#include "button/Picture.h"
#include "button/ZorvicClick.h"
#include "keyboard/KeyLayout.h"
#include "keyboard/Main.h"
#include "keyboard/mAlphaIcon.h"
#include "platform/WindowRole.h"
#include "settings/Shape.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QUrl>

namespace kelvo {

namespace {

// A control's place within the client area, in twips.
struct Place {
    int left, top, width, height;
};

constexpr Place ZorvicClick1Place{4605, 2820, 1185, 465};
constexpr Place chkBeepPlace{7200, 2550, 1575, 405};
constexpr Place cmdOkPlace{7365, 3420, 1185, 465};
constexpr Place Shape1Place{6810, 2070, 2265, 1890};
constexpr Place Image3Place{3990, 900, 3825, 630};
// The banner and the illustration reach past the client area on purpose:
// the window clips them.
constexpr Place Image2Place{0, -225, 9435, 1005};
constexpr Place Image1Place{-105, 615, 4200, 4200};

constexpr qint32 White = 16777215;
constexpr qint32 LightGrey = 14737632;
constexpr qint32 SystemWindowColor = qint32(0x80000005);

QRect pixels(const Place& place)
{
    return pixelRect(place.left, place.top, place.width, place.height);
}

// A picture shown at its own size from the control's top-left corner; a
// picture that cannot be read shows nothing.
QLabel* makeImage(QWidget* parent, const char* name, const QString& path, const Place& place)
{
    auto* image = new QLabel(parent);
    image->setObjectName(QLatin1String(name));
    image->setGeometry(pixels(place));
    image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (const PictureRef picture = loadPicture(path, Picture::Bitmap))
        image->setPixmap(QPixmap::fromImage(picture->image));
    return image;
}

// Both buttons look alike: black caption in the dialog's font on the
// dialog's own three faces; everything else keeps its stored default.
ZorvicClick* makeButton(QWidget* parent, const char* name, const QString& caption,
                        const Place& place, const FontRef& font)
{
    auto* button = new ZorvicClick(parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(pixels(place));
    PropertyBag bag;
    bag.append(QStringLiteral("BackColor"), qint32(0));
    bag.append(QStringLiteral("Font"), font);
    bag.append(QStringLiteral("CaptionColor"), qint32(0));
    bag.append(QStringLiteral("Caption"), caption);
    bag.append(QStringLiteral("PicNormal"), loadPicture(QStringLiteral(":/settings/face-normal.gif"), Picture::Bitmap));
    bag.append(QStringLiteral("PicOver"), loadPicture(QStringLiteral(":/settings/face-over.gif"), Picture::Bitmap));
    bag.append(QStringLiteral("PicDown"), loadPicture(QStringLiteral(":/settings/face-down.gif"), Picture::Bitmap));
    bag.append(QStringLiteral("CustomPic"), Boolean::of(true));
    button->ReadProperties(bag);
    button->setAccessibleName(caption);
    return button;
}

} // namespace

frmSettings::frmSettings(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint)
{
    // The close box unloads the dialog; OK only hides it.
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral(" Kelvo -  v2.0"));
    setFixedSize(ClientWidth, ClientHeight);
    SetFormIcons(this, QStringLiteral("AAAA"), false);
    QPalette background = palette();
    background.setColor(QPalette::Window, colorOf(SystemWindowColor));
    setPalette(background);
    setAutoFillBackground(true);
    const FontRef font = makeFont({QStringLiteral("MS Sans Serif"), 8.25, 400, 0});
    setFont(*font);

    ZorvicClick1 = makeButton(this, "ZorvicClick1", QStringLiteral("Visit WebSite"), ZorvicClick1Place, font);
    connect(ZorvicClick1, &ZorvicClick::Click, this, &frmSettings::ZorvicClick1_Click);

    chkBeep = new QCheckBox(QStringLiteral("Beep Sound On"), this);
    chkBeep->setObjectName(QStringLiteral("chkBeep"));
    chkBeep->setGeometry(pixels(chkBeepPlace));
    QPalette white = chkBeep->palette();
    white.setColor(QPalette::Window, colorOf(White));
    chkBeep->setPalette(white);
    chkBeep->setBackgroundRole(QPalette::Window); // a button's own role would be Button
    chkBeep->setAutoFillBackground(true);
    // A change made by Form_Activate runs the handler too, which writes back
    // the value it was set from.
    // Every change of state, greyed included; Qt 6.7 renamed the signal.
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
    connect(chkBeep, &QCheckBox::checkStateChanged, this, &frmSettings::chkBeep_Click);
#else
    connect(chkBeep, &QCheckBox::stateChanged, this, &frmSettings::chkBeep_Click);
#endif

    cmdOk = makeButton(this, "cmdOk", QStringLiteral("Ok"), cmdOkPlace, font);
    connect(cmdOk, &ZorvicClick::Click, this, &frmSettings::cmdOk_Click);

    Shape1 = new Shape(this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(pixels(Shape1Place));
    Shape1->setBorderColor(LightGrey);

    Image3 = makeImage(this, "Image3", QStringLiteral(":/settings/slogan.png"), Image3Place);
    Image2 = makeImage(this, "Image2", QStringLiteral(":/settings/banner.png"), Image2Place);
    Image1 = makeImage(this, "Image1", QStringLiteral(":/settings/illustration.png"), Image1Place);

    // The banner lies over the illustration's blank top rows, which would
    // otherwise cut a notch into its lower edge.
    Image2->raise();
    // Pictures and the shape are drawn on the form itself, under every
    // control that is a window of its own.
    for (QWidget* control : {static_cast<QWidget*>(ZorvicClick1), static_cast<QWidget*>(chkBeep),
                             static_cast<QWidget*>(cmdOk)})
        control->raise();

    setTabOrder(chkBeep, ZorvicClick1);
    setTabOrder(ZorvicClick1, cmdOk);
}

void frmSettings::placeCorner(QPoint corner)
{
    corner_ = corner;
    if (!isVisible()) {
        currentWindowRole().adopt(this, WindowRole::Kind::Dialog);
        show();
    }
    applyCorner();
    raise();
}

void frmSettings::applyCorner()
{
    const QSize frame = frameGeometry().size();
    currentWindowRole().moveTo(this, *corner_ - QPoint(frame.width(), frame.height()));
    // A window just shown has no frame yet; once the window manager has
    // framed it, it is placed again by its outer corner.
    if (frame != size())
        corner_.reset();
}

void frmSettings::paintEvent(QPaintEvent* event)
{
    // By the time the window is first drawn on screen, the window manager
    // has framed it and the frame's size is known.
    QWidget::paintEvent(event);
    if (corner_ && frameGeometry().size() != size())
        applyCorner();
}

void frmSettings::hideEvent(QHideEvent* event)
{
    // The keys it covered come back into view under the pointer.
    ZorvicClick::PointerStillAt(QCursor::pos());
    QWidget::hideEvent(event);
    corner_.reset();
}

void frmSettings::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    Form_Activate();
}

void frmSettings::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Form_Activate();
}

void frmSettings::Form_Activate()
{
    SetTopmost(this, 1);
    chkBeep->setChecked(BeepOn);
}

void frmSettings::chkBeep_Click()
{
    BeepOn = chkBeep->checkState() == Qt::Checked;
}

void frmSettings::ZorvicClick1_Click()
{
    OpenWebPage(WebPage());
}

void frmSettings::cmdOk_Click()
{
    hide();
}

void frmSettings::OpenWebPage(const QString& address)
{
    // Nobody to tell: a desktop without a browser simply opens nothing.
    static_cast<void>(QDesktopServices::openUrl(QUrl(address)));
}

QString frmSettings::WebPage()
{
    return WebPage(QCoreApplication::applicationDirPath());
}

QString frmSettings::WebPage(const QString& programFolder)
{
    // A build folder holds the guide made with this very program, and the
    // Windows installer puts it beside the program wherever it installs;
    // the built-in address names where a default install puts it.
    if (!KELVO_WEB_PAGE_CHOSEN && !programFolder.isEmpty()) {
        const QFileInfo beside(QDir(programFolder).filePath(QStringLiteral("guide/index.html")));
        if (beside.isFile())
            return QUrl::fromLocalFile(beside.absoluteFilePath()).toString();
    }
    return QString::fromUtf8(KELVO_WEB_PAGE);
}

} // namespace kelvo
