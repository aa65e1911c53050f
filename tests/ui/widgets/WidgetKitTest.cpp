#include <gtest/gtest.h>

#include <QVBoxLayout>

#include "main/ui/widgets/KitButton.h"
#include "main/ui/widgets/SettingsGroupCard.h"
#include "main/ui/widgets/SettingsRow.h"

using namespace murmeli::ui;

namespace {

// A card of the page column's width holding the rows, laid out.
struct LaidOutCard {
    explicit LaidOutCard(int width)
    {
        holder.setFixedWidth(width);
        auto* layout = new QVBoxLayout(&holder);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(card);
        layout->addStretch(1);
    }
    void lay()
    {
        holder.resize(holder.width(), 2000);
        holder.show();
        layout()->activate();
    }
    QLayout* layout() { return holder.layout(); }

    QWidget holder;
    SettingsGroupCard* card = new SettingsGroupCard(&holder);
};

} // namespace

// A one-line row is 64 high; a long help line wraps and the row grows; with a long label and a wide control the
// label column gives way and the control keeps its width.
TEST(WidgetKitTest, RowsKeepTheirHeightAndTheControlItsWidth)
{
    LaidOutCard laid(540);
    auto* plain = new SettingsRow(
        QStringLiteral("Launch at login"), std::nullopt, new SecondaryButton(QStringLiteral("Open")), true);
    QString longText;
    for (int i = 0; i < 30; ++i) {
        longText += QStringLiteral("A help line that goes on. ");
    }
    auto* wrapping = new SettingsRow(QStringLiteral("Wraps"), longText, new SecondaryButton(QStringLiteral("Open")));
    auto* wideControl = new SecondaryButton(QStringLiteral("A control that wants a good deal of room to itself"));
    auto* crowded = new SettingsRow(longText, std::nullopt, wideControl);
    laid.card->addRow(plain);
    laid.card->addRow(wrapping);
    laid.card->addRow(crowded);
    laid.lay();

    EXPECT_EQ(plain->height(), 64);
    EXPECT_GT(wrapping->height(), 100);
    EXPECT_EQ(wideControl->width(), wideControl->sizeHint().width());
    EXPECT_EQ(laid.card->rows().size(), 3);
    EXPECT_TRUE(plain->isFirst());
    EXPECT_FALSE(wrapping->isFirst() || crowded->isFirst()) << "two hairlines in a card of three rows";
}
