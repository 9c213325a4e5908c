#pragma once
// An outlined rounded rectangle drawn on a form, such as the frame that
// groups a few controls. It is only drawn: it takes no pointer and no focus.

#include <QWidget>

namespace kelvo {

class Shape : public QWidget {
    Q_OBJECT

public:
    explicit Shape(QWidget* parent = nullptr);

    // Colour of the one-pixel outline, as a colour value (red in the lowest
    // byte); the inside is not filled and shows what lies below.
    qint32 BorderColor() const { return borderColor_; }
    void setBorderColor(qint32 New_BorderColor);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qint32 borderColor_ = 0;
};

} // namespace kelvo
