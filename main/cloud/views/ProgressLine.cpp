#include "main/cloud/views/ProgressLine.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "main/ui/design/Tokens.h"
#include "main/cloud/billing/PlanUsage.h"
#include "main/ui/design/Faces.h"
#include "main/ui/widgets/KitLabel.h"
#include "main/ui/widgets/KitPainting.h"

namespace murmeli::cloud {

namespace {

constexpr int barHeight = 6;
constexpr qreal barRadius = 3;

// The track and its brass fill from the leading edge.
class UsageBar final : public QWidget {
public:
    UsageBar(const double& fraction, QWidget* parent) : QWidget(parent), m_fraction(fraction)
    {
        setFixedHeight(barHeight);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QRectF track(rect());
        ui::KitPainting::roundedBox(painter, track, barRadius, ui::Color::vantorSurface3);
        if (m_fraction > 0) {
            ui::KitPainting::roundedBox(painter,
                QRectF(track.left(), track.top(), track.width() * m_fraction, track.height()), barRadius,
                ui::Color::vantorBrass);
        }
    }

private:
    const double& m_fraction;
};

} // namespace

ProgressLine::ProgressLine(const QString& title, QWidget* parent) : QWidget(parent)
{
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(6);

    auto* head = new QHBoxLayout;
    head->setSpacing(8);
    QFont caption = ui::Faces::instrumentSans(11, QFont::DemiBold);
    caption.setLetterSpacing(QFont::AbsoluteSpacing, 1.2);
    head->addWidget(ui::KitLabel::make(title, caption, ui::Color::vantorTextMuted, this), 0, Qt::AlignBaseline);
    head->addStretch(1);
    QFont mono = ui::Faces::geistMono(12);
    mono.setStyleHint(QFont::TypeWriter);
    m_count = ui::KitLabel::make(QString(), mono, ui::Color::vantorText, this);
    m_count->setObjectName(QStringLiteral("count"));
    head->addWidget(m_count, 0, Qt::AlignBaseline);
    stack->addLayout(head);

    m_bar = new UsageBar(m_fraction, this);
    stack->addWidget(m_bar);

    m_reset = ui::KitLabel::make(
        QString(), ui::Faces::instrumentSans(10.5, QFont::Normal), ui::Color::vantorTextMuted, this);
    m_reset->setObjectName(QStringLiteral("reset"));
    m_reset->hide();
    stack->addWidget(m_reset);
}

void ProgressLine::set(qint64 used, qint64 cap, const QString& resetText)
{
    m_count->setText(PlanUsage::countText(used, cap));
    m_fraction = PlanUsage::fillFraction(used, cap);
    m_bar->update();
    m_reset->setText(resetText);
    m_reset->setHidden(resetText.isEmpty());
}

QString ProgressLine::countText() const
{
    return m_count->text();
}

double ProgressLine::fraction() const
{
    return m_fraction;
}

QString ProgressLine::resetText() const
{
    return m_reset->isHidden() ? QString() : m_reset->text();
}

} // namespace murmeli::cloud
