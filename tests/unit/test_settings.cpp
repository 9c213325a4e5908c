// The settings dialog: the beep switch across hiding, closing and reopening,
// its two buttons, the tab order and where its controls sit.
#include "button/ZorvicClick.h"
#include "keyboard/Main.h"
#include "settings/Shape.h"
#include "settings/frmSettings.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kelvo;

namespace {

// A left click as the button control sees one: press and release on it.
void click(ZorvicClick* button)
{
    QTest::mousePress(button, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QTest::mouseRelease(button, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
}

// Stands in for the desktop's opener: QDesktopServices hands a registered
// scheme's URLs to a receiver's setSource(QUrl) slot, which a text browser
// has; the browser records each address instead of loading it.
class OpenedUrls : public QTextBrowser {
public:
    OpenedUrls()
    {
        for (const char* scheme : {"file", "http", "https", "mailto", "ftp"})
            QDesktopServices::setUrlHandler(QLatin1String(scheme), this, "setSource");
    }
    ~OpenedUrls() override
    {
        for (const char* scheme : {"file", "http", "https", "mailto", "ftp"})
            QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
    }
    QList<QUrl> opened;

protected:
    void doSetSource(const QUrl& name, QTextDocument::ResourceType) override { opened << name; }
};

// Each case leaves the program-wide flag as it found it.
class Settings : public testing::Test {
protected:
    ~Settings() override { BeepOn = savedBeepOn; }
    const bool savedBeepOn = BeepOn;
};

} // namespace

TEST_F(Settings, BeepSwitchFollowsBeepOnAcrossClosingAndReopening)
{
    BeepOn = true;
    QPointer<frmSettings> dialog = new frmSettings();
    dialog->show();
    EXPECT_TRUE(dialog->chkBeep->isChecked());

    // Unchecking with a click switches the beep off.
    QTest::mouseClick(dialog->chkBeep, Qt::LeftButton);
    EXPECT_FALSE(dialog->chkBeep->isChecked());
    EXPECT_FALSE(BeepOn);

    // The close box unloads the dialog; the flag lives on without it.
    dialog->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.isNull(); }, 5000));
    EXPECT_FALSE(BeepOn);

    // The next opening creates it afresh, showing the switch off.
    dialog = new frmSettings();
    dialog->show();
    EXPECT_FALSE(dialog->chkBeep->isChecked());
    EXPECT_FALSE(BeepOn);

    QTest::mouseClick(dialog->chkBeep, Qt::LeftButton);
    EXPECT_TRUE(BeepOn);

    // A greyed box counts as off.
    dialog->chkBeep->setCheckState(Qt::PartiallyChecked);
    EXPECT_FALSE(BeepOn);
    dialog->chkBeep->setChecked(true);
    EXPECT_TRUE(BeepOn);

    // Becoming active again shows the flag as it is now, though the box
    // last said otherwise.
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    BeepOn = false;
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
    EXPECT_FALSE(dialog->chkBeep->isChecked());
    EXPECT_FALSE(BeepOn);

    // Showing it again after a hide does the same.
    dialog->hide();
    BeepOn = true;
    dialog->show();
    EXPECT_TRUE(dialog->chkBeep->isChecked());
    EXPECT_TRUE(BeepOn);
    delete dialog;
}

TEST_F(Settings, OkHidesAndVisitWebSiteOpensOnlyTheConfiguredPage)
{
    OpenedUrls urls;
    QPointer<frmSettings> dialog = new frmSettings();
    BeepOn = true;
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    dialog->move(200, 150);
    const QPoint place = dialog->pos();

    click(dialog->ZorvicClick1);
    EXPECT_EQ(urls.opened, QList<QUrl>{QUrl(QStringLiteral(KELVO_WEB_PAGE))});
    EXPECT_TRUE(urls.opened.value(0).isValid());
    EXPECT_TRUE(dialog->isVisible());

    // OK hides without touching the flag, even one changed behind the
    // dialog's back, and the dialog stays loaded where it was.
    BeepOn = false;
    click(dialog->cmdOk);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(BeepOn);
    QTest::qWait(50);
    ASSERT_TRUE(dialog);
    dialog->show();
    EXPECT_EQ(dialog->pos(), place);
    EXPECT_EQ(urls.opened.size(), 1);
    delete dialog;
}

TEST(SettingsWebPage, TheGuideBesideTheProgramComesFirstUnlessTheBuildChoseAnAddress)
{
    const QTemporaryDir program;
    ASSERT_TRUE(program.isValid());
    const QString configured = QStringLiteral(KELVO_WEB_PAGE);
    EXPECT_EQ(frmSettings::WebPage(program.path()), configured);
    EXPECT_EQ(frmSettings::WebPage(QString()), configured);

    // A folder named like the page is no page.
    ASSERT_TRUE(QDir(program.path()).mkpath(QStringLiteral("guide/index.html")));
    EXPECT_EQ(frmSettings::WebPage(program.path()), configured);
    ASSERT_TRUE(QDir(program.path()).rmdir(QStringLiteral("guide/index.html")));

    QFile page(program.filePath(QStringLiteral("guide/index.html")));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.close();
    const QUrl beside = QUrl::fromLocalFile(page.fileName());
    EXPECT_EQ(QUrl(frmSettings::WebPage(program.path())), KELVO_WEB_PAGE_CHOSEN ? QUrl(configured) : beside);
}

TEST_F(Settings, TabOrderAndLayout)
{
    frmSettings dialog;
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));

    // The check box takes the focus first, then the two buttons, round again.
    ASSERT_EQ(QApplication::focusWidget(), dialog.chkBeep);
    std::vector<std::string> order;
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order.push_back(QApplication::focusWidget()->objectName().toStdString());
    }
    EXPECT_EQ(order, (std::vector<std::string>{"ZorvicClick1", "cmdOk", "chkBeep"}));

    // Twips divided by 15, with the banner and the illustration reaching
    // past the client area.
    EXPECT_EQ(dialog.size(), QSize(625, 319));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral(" Kelvo -  v2.0"));
    EXPECT_EQ(dialog.ZorvicClick1->geometry(), QRect(307, 188, 79, 31));
    EXPECT_EQ(dialog.chkBeep->geometry(), QRect(480, 170, 105, 27));
    EXPECT_EQ(dialog.cmdOk->geometry(), QRect(491, 228, 79, 31));
    EXPECT_EQ(dialog.Shape1->geometry(), QRect(454, 138, 151, 126));
    EXPECT_EQ(dialog.Image3->geometry(), QRect(266, 60, 255, 42));
    EXPECT_EQ(dialog.Image2->geometry(), QRect(0, -15, 629, 67));
    EXPECT_EQ(dialog.Image1->geometry(), QRect(-7, 41, 280, 280));
    // Each picture is shown at its own size, which is its control's.
    for (QLabel* image : {dialog.Image1, dialog.Image2, dialog.Image3})
        EXPECT_EQ(image->pixmap().size(), image->size()) << image->objectName().toStdString();

    // The shape and the pictures lie under the check box and the buttons,
    // the banner over the illustration.
    std::vector<std::string> stacking; // bottom first
    for (QObject* child : dialog.children())
        if (child->isWidgetType())
            stacking.push_back(child->objectName().toStdString());
    EXPECT_EQ(stacking, (std::vector<std::string>{"Shape1", "Image3", "Image1", "Image2",
                                                  "ZorvicClick1", "chkBeep", "cmdOk"}));

    // The check box is white on the dialog's window colour.
    const QImage box = dialog.chkBeep->grab().toImage();
    EXPECT_EQ(box.pixelColor(box.width() - 2, 1), QColor(Qt::white));
    EXPECT_EQ(dialog.grab().toImage().pixelColor(620, 300), QApplication::palette().color(QPalette::Base));
}
