#include "main/notch/views/WorkingLabel.h"

#include <QPainter>

#include "main/ui/design/Tokens.h"
#include "main/ui/design/Faces.h"
#include "main/notch/kit/Stack.h"

namespace murmeli::notch {

namespace {

TextStyle labelStyle()
{
    return { ui::Faces::instrumentSans(11, QFont::DemiBold), ui::Color::vantorText };
}

} // namespace

WorkingLabel::WorkingLabel(const ViewEnvironment& environment)
    : m_environment(environment), m_reduceMotion(environment.reducesMotion()),
      m_word(QStringLiteral("Working"), labelStyle())
{
    const TextStyle dotsStyle = labelStyle();
    for (int count = 0; count < 4; ++count) {
        m_dotViews[count] = std::make_unique<TextView>(QString(count, QLatin1Char('.')), dotsStyle);
    }
    if (!m_reduceMotion) {
        scheduleTick();
    }
}

WorkingLabel::~WorkingLabel()
{
    if (m_timer) {
        m_environment.clock->cancel(*m_timer);
    }
}

void WorkingLabel::scheduleTick()
{
    m_timer = m_environment.clock->schedule(tickMs, [this] {
        m_timer.reset();
        m_dotCount = (m_dotCount + 1) % 4;
        m_environment.update();
        scheduleTick();
    });
}

QString WorkingLabel::dots() const
{
    return m_reduceMotion ? QString() : QString(m_dotCount, QLatin1Char('.'));
}

QSizeF WorkingLabel::idealSize() const
{
    const QSizeF word = m_word.idealSize();
    return { word.width() + dotsSlotWidth, word.height() };
}

void WorkingLabel::paint(QPainter& painter, const QRectF& frame, qint64 nowMs)
{
    const QRectF box = aligned(idealSize(), frame);
    const qreal wordWidth = m_word.idealSize().width();
    m_word.paint(painter, QRectF(box.left(), box.top(), wordWidth, box.height()), nowMs);
    const int shown = m_reduceMotion ? 0 : m_dotCount;
    // The dots hug the slot's leading edge.
    TextView& dotsView = *m_dotViews[shown];
    dotsView.paint(
        painter, QRectF(box.left() + wordWidth, box.top(), dotsView.idealSize().width(), box.height()), nowMs);
}

} // namespace murmeli::notch
