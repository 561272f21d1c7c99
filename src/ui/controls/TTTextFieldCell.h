#pragma once

#include <QLineEdit>
#include <QRect>
#include <QRectF>

namespace intercom {

// A text field that lays its line of text, its placeholder and its caret out in the
// vertical middle of a field taller than one line. The text area is the plain, top-aligned
// field's text area moved down by half of the height it has beyond one line; it keeps its
// height and is not clipped to the field, so a field lower than one line moves its text up.
class TTTextFieldCell : public QLineEdit {
    Q_OBJECT

  public:
    explicit TTTextFieldCell(QWidget* parent = nullptr);

    // The area that the text is laid out in for a field of these bounds. Drawing and
    // editing both go through it, so a subclass that moves it moves both.
    virtual QRectF titleRectForBounds(const QRect& bounds) const;
    // The text area that a plain top-aligned field of these bounds lays its text out in.
    QRect plainTitleRect(const QRect& bounds) const;
    // The height that one line of this field's text needs, its margins included.
    int naturalHeight() const;

    // `plain` moved by half the difference between its height and `naturalHeight`.
    static QRectF centredTitleRect(const QRectF& plain, qreal naturalHeight);

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    // Moves the line that QLineEdit lays out at the top of its text area into the title
    // rectangle, through the text margins.
    void placeText();
};

}  // namespace intercom
