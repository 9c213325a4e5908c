#pragma once
// The settings dialog: the beep switch and a button to the program's web
// page. It is created on first use, hidden by its OK button and destroyed by
// its close box; the next opening creates it afresh. The switch's value
// lives outside it (BeepOn), so every opening shows the current setting.

#include <QWidget>

#include <optional>

class QCheckBox;
class QLabel;

namespace kelvo {

class Shape;
class ZorvicClick;

class frmSettings : public QWidget {
    Q_OBJECT

public:
    // Client area in logical pixels (9375 x 4785 twips).
    static constexpr int ClientWidth = 625;
    static constexpr int ClientHeight = 319;

    // Creates the dialog with its controls, hidden and modeless.
    explicit frmSettings(QWidget* parent = nullptr);

    // Shows the dialog with its bottom-right corner at `corner` (global,
    // logical pixels), keeping its size.
    void placeCorner(QPoint corner);

    // Runs each time the dialog is shown or becomes the active window: keeps
    // it above other windows and sets the check box from BeepOn.
    void Form_Activate();
    // Writes the check box's state into BeepOn: checked is on, unchecked or
    // greyed is off. Nothing else happens.
    void chkBeep_Click();
    // Opens the program's web page.
    void ZorvicClick1_Click();
    // Hides the dialog; it stays where it is, ready to be shown again.
    void cmdOk_Click();

    // Asks the desktop to open `address` (a URL) in the user's browser or
    // viewer. Whether anything opens is not reported.
    static void OpenWebPage(const QString& address);

    // The address "Visit WebSite" opens: the user guide beside the running
    // program, else the address fixed when the program was built.
    static QString WebPage();
    // The same for a program in `programFolder`: its guide/index.html when
    // that is there and the build was given no address of its own.
    static QString WebPage(const QString& programFolder);

    // The controls, in the order they are created (later ones lie above
    // earlier ones where they meet, the pictures and the shape below all of
    // the check box and the buttons).
    ZorvicClick* ZorvicClick1 = nullptr; // "Visit WebSite"
    QCheckBox* chkBeep = nullptr;        // "Beep Sound On"
    ZorvicClick* cmdOk = nullptr;        // "Ok"
    Shape* Shape1 = nullptr;             // frame around the check box and OK
    QLabel* Image3 = nullptr;            // slogan
    QLabel* Image2 = nullptr;            // title banner, clipped at the top and right
    QLabel* Image1 = nullptr;            // illustration, clipped at the left and bottom

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void applyCorner();

    std::optional<QPoint> corner_; // where the bottom-right corner belongs, until framed
};

} // namespace kelvo
