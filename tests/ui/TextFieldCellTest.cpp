#include <gtest/gtest.h>

#include <QImage>
#include <QTest>
#include <memory>

#include "UiTestSupport.h"
#include "ui/controls/TTSecureTextFieldCell.h"
#include "ui/controls/TTTextFieldCell.h"

namespace intercom {
namespace {

struct Ink {
    int top = -1;
    int bottom = -1;
};

// The first and last rows of the field that hold dark pixels: its text, bullets or caret.
Ink inkRows(QWidget& field) {
    const QImage image = field.grab().toImage();
    Ink ink;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 128) {
                ink.top = ink.top < 0 ? y : ink.top;
                ink.bottom = y;
                break;
            }
        }
    }
    return ink;
}

// Black text on white without a frame, so that only the text is ink.
template <typename Field>
std::unique_ptr<QLineEdit> makeField(const QString& text) {
    auto field = std::make_unique<Field>();
    field->setFrame(false);
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    field->setPalette(palette);
    QFont font = field->font();
    font.setPixelSize(20);
    field->setFont(font);
    field->setText(text);
    return field;
}

// A field of this kind whose text area is exactly one line high.
int oneLineHeight(const TTTextFieldCell& field) {
    const QRect bounds(0, 0, 200, 100);
    return field.naturalHeight() + bounds.height() - field.plainTitleRect(bounds).height();
}

TEST(TextFieldCell, TitleRectMovesByHalfTheRoomBeyondOneLineAndKeepsItsSize) {
    EXPECT_EQ(TTTextFieldCell::centredTitleRect(QRectF(0, 0, 200, 40), 22), QRectF(0, 9, 200, 40));
    EXPECT_EQ(TTTextFieldCell::centredTitleRect(QRectF(5, 3, 120, 22), 22), QRectF(5, 3, 120, 22));
    EXPECT_EQ(TTTextFieldCell::centredTitleRect(QRectF(0, 0, 100, 16), 22), QRectF(0, -3, 100, 16))
        << "a field lower than its line moves the text up";

    TTTextFieldCell plain;
    TTSecureTextFieldCell secure;
    for (TTTextFieldCell* field : {&plain, static_cast<TTTextFieldCell*>(&secure)}) {
        const QRect tall(0, 0, 240, 60);
        const QRect title = field->plainTitleRect(tall);
        EXPECT_EQ(field->titleRectForBounds(tall),
                  QRectF(title).translated(0, (title.height() - field->naturalHeight()) * 0.5));
        const QRect exact(0, 0, 240, oneLineHeight(*field));
        EXPECT_EQ(field->titleRectForBounds(exact), QRectF(field->plainTitleRect(exact)));
    }
    EXPECT_EQ(secure.echoMode(), QLineEdit::Password);
}

TEST(TextFieldCell, OneLineHighFieldDrawsWhereAPlainTopAlignedFieldDoes) {
    auto centred = makeField<TTTextFieldCell>(QStringLiteral("Hg 中文"));
    auto plain = makeField<QLineEdit>(QStringLiteral("Hg 中文"));
    plain->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const int height = oneLineHeight(*static_cast<TTTextFieldCell*>(centred.get()));
    centred->resize(240, height);
    plain->resize(240, height);
    EXPECT_EQ(centred->grab().toImage(), plain->grab().toImage());
}

TEST(TextFieldCell, TextBulletsAndCaretOfATallFieldSitInItsMiddle) {
    auto text = makeField<TTTextFieldCell>(QStringLiteral("Hg 中文"));
    auto bullets = makeField<TTSecureTextFieldCell>(QStringLiteral("secret"));
    for (QLineEdit* field : {text.get(), bullets.get()}) {
        const int lineHeight = oneLineHeight(*static_cast<TTTextFieldCell*>(field));
        field->resize(240, lineHeight);
        const Ink line = inkRows(*field);
        ASSERT_GE(line.top, 0) << "the text shows";
        for (const int height : {lineHeight + 40, lineHeight + 41, 90}) {
            field->resize(240, height);
            const Ink ink = inkRows(*field);
            const int above = ink.top - line.top;
            const int below = (height - 1 - ink.bottom) - (lineHeight - 1 - line.bottom);
            EXPECT_LE(std::abs(above - below), 1)
                << field->metaObject()->className() << " " << height << ": " << above
                << " more above, " << below << " more below";
        }
    }

    // The caret follows the line it stands on.
    text->resize(240, 90);
    text->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(text.get()));
    text->setFocus();
    const QRect caret = text->inputMethodQuery(Qt::ImCursorRectangle).toRect();
    EXPECT_LE(std::abs(caret.center().y() - text->rect().center().y()), 1)
        << caret.top() << ".." << caret.bottom();
}

}  // namespace
}  // namespace intercom
