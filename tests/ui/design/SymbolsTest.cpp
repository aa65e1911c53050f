#include "main/ui/design/Symbols.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

using namespace murmeli::ui;

TEST(SymbolsTest, EverySymbolFillsItsBoxAndTheCutOutsAreHoles)
{
    const Symbol all[] = { Symbol::MicFill, Symbol::GearshapeFill, Symbol::CheckmarkCircleFill, Symbol::XmarkCircleFill,
        Symbol::ExclamationmarkTriangleFill, Symbol::ExclamationmarkShieldFill, Symbol::SpeakerWave2Fill,
        Symbol::SpeakerSlashFill, Symbol::Power, Symbol::ChevronDown, Symbol::ArrowTriangleBranch,
        Symbol::CheckmarkSquareFill };
    for (Symbol symbol : all) {
        const QPainterPath path = Symbols::path(symbol, 20);
        EXPECT_FALSE(path.isEmpty()) << static_cast<int>(symbol);
        const QRectF bounds = path.boundingRect();
        EXPECT_GE(bounds.left(), -1.0);
        EXPECT_LE(bounds.right(), 21.0);
        EXPECT_GT(bounds.width() * bounds.height(), 60.0) << static_cast<int>(symbol);
    }
    // The check and the cross are cut out of their discs; the gear has a hole; the slash parts the speaker.
    EXPECT_TRUE(Symbols::path(Symbol::CheckmarkCircleFill, 20).contains(QPointF(10, 3)));
    EXPECT_FALSE(Symbols::path(Symbol::CheckmarkCircleFill, 20).contains(QPointF(8.8, 13.4)));
    EXPECT_FALSE(Symbols::path(Symbol::XmarkCircleFill, 20).contains(QPointF(10, 10)));
    EXPECT_FALSE(Symbols::path(Symbol::GearshapeFill, 20).contains(QPointF(10, 10)));
    EXPECT_TRUE(Symbols::path(Symbol::GearshapeFill, 20).contains(QPointF(10, 4.5)));
    EXPECT_FALSE(Symbols::path(Symbol::ExclamationmarkTriangleFill, 20).contains(QPointF(10, 9.5)));
    EXPECT_TRUE(Symbols::path(Symbol::ExclamationmarkTriangleFill, 20).contains(QPointF(6, 15)));

    // Painting centres the symbol at the box's shorter side in the colour given.
    QImage image(40, 20, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    Symbols::paint(painter, Symbol::CheckmarkCircleFill, QRectF(0, 0, 40, 20), QColor(126, 203, 143));
    painter.end();
    EXPECT_EQ(image.pixelColor(20, 3), QColor(126, 203, 143));
    EXPECT_EQ(image.pixelColor(5, 10).alpha(), 0);
}
