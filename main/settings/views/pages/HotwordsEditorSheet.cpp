#include "main/settings/views/pages/HotwordsEditorSheet.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

#include "main/settings/HotwordsFilter.h"
#include "main/ui/design/Faces.h"
#include "main/ui/design/Tokens.h"
#include "main/ui/widgets/FocusRing.h"
#include "main/ui/widgets/KitButton.h"
#include "main/ui/widgets/KitLabel.h"
#include "main/ui/widgets/KitPainting.h"
#include "main/ui/widgets/SettingsDesign.h"
#include "main/ui/widgets/SymbolButton.h"
#include "main/voice/preferences/SpeechSettings.h"

namespace murmeli::settings {

namespace {

using ui::SettingsDesign::withOpacity;

// A box drawn behind its content: the warning banner and the list's frame.
class Box final : public QWidget {
public:
    Box(QColor fill, QColor border, qreal radius, QWidget* parent)
        : QWidget(parent), m_fill(fill), m_border(border), m_radius(radius)
    {
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        ui::KitPainting::roundedBox(painter, QRectF(rect()), m_radius, m_fill, m_border, 0.5);
    }

private:
    QColor m_fill;
    QColor m_border;
    qreal m_radius;
};

// One hotword of the list; every row but the first has a hairline on top.
class EntryRow final : public QWidget {
public:
    EntryRow(const QString& entry, bool isFirst, QWidget* parent) : QWidget(parent), m_isFirst(isFirst)
    {
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(12, 8, 12, 8);
        QLabel* text
            = ui::KitLabel::make(entry, ui::Faces::instrumentSans(13, QFont::Normal), ui::Color::vantorText, this);
        text->setObjectName(QStringLiteral("hotword"));
        layout->addWidget(text);
        layout->addStretch(1);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (!m_isFirst) {
            QPainter painter(this);
            ui::KitPainting::topHairline(painter, QRectF(rect()));
        }
    }

private:
    bool m_isFirst;
};

QLabel* mutedText(const QString& text, qreal size, QWidget* parent)
{
    QLabel* label
        = ui::KitLabel::make(text, ui::Faces::instrumentSans(size, QFont::Normal), ui::Color::vantorTextMuted, parent);
    label->setWordWrap(true);
    return label;
}

} // namespace

HotwordsEditorSheet::HotwordsEditorSheet(QStringList hotwords, std::function<void()> onClose, QWidget* parent)
    : QDialog(parent), m_list(std::move(hotwords))
{
    setWindowTitle(QStringLiteral("Custom hotwords"));
    ui::FocusRing::install(*this);
    setFixedWidth(width);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, ui::Color::vantorSurface);
    setPalette(palette);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(16);

    auto* header = new QHBoxLayout;
    header->addWidget(ui::KitLabel::make(QStringLiteral("Custom hotwords"), ui::Faces::fraunces(20, QFont::Normal, true),
        ui::Color::vantorText, this));
    header->addStretch(1);
    m_counter
        = ui::KitLabel::make(QStringLiteral("%1 / %2").arg(m_list.size()).arg(voice::SpeechSettings::maxCustomHotwords),
            ui::Faces::geistMono(11), ui::Color::vantorTextMuted, this);
    header->addWidget(m_counter);
    layout->addLayout(header);

    auto* banner = new Box(
        withOpacity(ui::Color::vantorSignalAmber, 0.12), withOpacity(ui::Color::vantorSignalAmber, 0.3), 8, this);
    auto* bannerLayout = new QHBoxLayout(banner);
    bannerLayout->setContentsMargins(12, 12, 12, 12);
    bannerLayout->setSpacing(10);
    auto* warning
        = new ui::SymbolButton(ui::Symbol::ExclamationmarkTriangleFill, ui::Color::vantorSignalAmber, 13, banner);
    warning->setAttribute(Qt::WA_TransparentForMouseEvents);
    bannerLayout->addWidget(warning, 0, Qt::AlignTop);
    QLabel* bannerText
        = ui::KitLabel::make(QStringLiteral("Manual editing is being reworked (I-325). Changes in this editor "
                                        "may not persist in the current build. Auto-generated hotwords "
                                        "from recent sessions continue to work normally."),
            ui::Faces::instrumentSans(11, QFont::Normal), ui::Color::vantorText, banner);
    bannerText->setWordWrap(true);
    bannerLayout->addWidget(bannerText, 1);
    layout->addWidget(banner);

    layout->addWidget(mutedText(QStringLiteral("Terms here get higher recognition weight and are merged with "
                                               "auto-extracted hotwords (filenames, tool names, project names)."),
        11, this));

    m_search = new QLineEdit(this);
    m_search->setPlaceholderText(QStringLiteral("Search…"));
    m_search->setEnabled(!m_list.isEmpty());
    connect(m_search, &QLineEdit::textChanged, this, &HotwordsEditorSheet::showFiltered);
    layout->addWidget(m_search);

    m_empty = mutedText(QString(), 12, this);
    QFont italic = m_empty->font();
    italic.setItalic(true);
    m_empty->setFont(italic);
    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->setMinimumHeight(160);
    layout->addWidget(m_empty);

    auto* listBox = new Box(ui::Color::vantorSurface2, withOpacity(ui::Color::vantorTextMuted, 0.06),
        ui::SettingsDesign::groupCardRadius, this);
    auto* rowsHolder = new QWidget(listBox);
    m_rows = new QVBoxLayout(rowsHolder);
    m_rows->setContentsMargins(0, 0, 0, 0);
    m_rows->setSpacing(0);
    m_scroll = new QScrollArea(listBox);
    m_scroll->setWidget(rowsHolder);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setMaximumHeight(260);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_scroll->viewport()->setAutoFillBackground(false);
    rowsHolder->setAutoFillBackground(false);
    auto* listLayout = new QVBoxLayout(listBox);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->addWidget(m_scroll);
    layout->addWidget(listBox);

    auto* footer = new QHBoxLayout;
    footer->addStretch(1);
    m_close = new ui::SecondaryButton(QStringLiteral("Close"), std::move(onClose), this);
    footer->addWidget(m_close);
    layout->addLayout(footer);

    showFiltered();
}

QString HotwordsEditorSheet::counterText() const
{
    return m_counter->text();
}

QStringList HotwordsEditorSheet::shownEntries() const
{
    QStringList entries;
    if (m_scroll->parentWidget()->isHidden()) {
        return entries;
    }
    for (int i = 0; i < m_rows->count(); ++i) {
        if (QWidget* row = m_rows->itemAt(i)->widget()) {
            entries.append(row->findChild<QLabel*>(QStringLiteral("hotword"))->text());
        }
    }
    return entries;
}

QString HotwordsEditorSheet::emptyText() const
{
    return m_empty->isHidden() ? QString() : m_empty->text();
}

void HotwordsEditorSheet::showFiltered()
{
    const QStringList filtered = HotwordsFilter::filtered(m_list, m_search->text());
    while (QLayoutItem* item = m_rows->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    // Rows are keyed by position, so repeated entries show as rows of their own.
    for (int i = 0; i < filtered.size(); ++i) {
        m_rows->addWidget(new EntryRow(filtered.at(i), i == 0, m_rows->parentWidget()));
    }
    m_rows->addStretch(1);
    const bool empty = filtered.isEmpty();
    m_empty->setText(m_list.isEmpty() ? QStringLiteral("No custom hotwords.") : QStringLiteral("No matches."));
    m_empty->setVisible(empty);
    m_scroll->parentWidget()->setVisible(!empty);
}

} // namespace murmeli::settings
