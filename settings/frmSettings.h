#pragma once
// The settings dialog. It is created on first use, hidden by its OK button
// and destroyed by its close box; the next opening creates it afresh.

#include <QWidget>

#include <optional>

namespace kelvo {

class frmSettings : public QWidget {
    Q_OBJECT

public:
    explicit frmSettings(QWidget* parent = nullptr);

    // Shows the dialog with its bottom-right corner at `corner` (global,
    // logical pixels), keeping its size.
    void placeCorner(QPoint corner);

    // Keeps the dialog above other windows each time it is shown.
    void Form_Activate();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void applyCorner();

    std::optional<QPoint> corner_; // where the bottom-right corner belongs, until framed
};

} // namespace kelvo
