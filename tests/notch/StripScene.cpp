#include "tests/notch/StripScene.h"

#include <QPainter>

#include "main/notch/model/PanelViewModel.h"
#include "main/notch/geometry/NotchShape.h"
#include "main/notch/layout/NotchDisplay.h"
#include "main/notch/layout/NotchExpansionState.h"

namespace murmeli::test {

namespace {

/// The closed notch body in black with the strip over it, as the root view draws the closed panel.
class ClosedBody final : public notch::View {
public:
    explicit ClosedBody(std::unique_ptr<notch::TopStripView> strip) : m_strip(std::move(strip)) { }

    notch::TopStripView* strip() const { return m_strip.get(); }

    QSizeF idealSize() const override { return m_strip->idealSize(); }
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override
    {
        painter.fillPath(notch::NotchShape::closed().path(frame), Qt::black);
        m_strip->paint(painter, frame, nowMs);
    }
    bool isAnimating(qint64 nowMs) const override { return m_strip->isAnimating(nowMs); }
    bool pointer(notch::PointerPhase phase, QPointF pos) override { return m_strip->pointer(phase, pos); }

private:
    std::unique_ptr<notch::TopStripView> m_strip;
};

} // namespace

StripScene::StripScene(Options options) : m_options(options), m_host(std::make_unique<notch::ViewHost>(m_clock))
{
    const bool reduce = options.reduceMotion;
    m_host->environment().reduceMotion = [reduce] { return reduce; };
    m_host->resize(static_cast<int>(options.width), static_cast<int>(options.height));
    auto strip = std::make_unique<notch::TopStripView>(m_host->environment());
    m_strip = strip.get();
    m_host->setRoot(std::make_unique<ClosedBody>(std::move(strip)));
}

StripScene::~StripScene() = default;

void StripScene::show(notch::TopStripInputs inputs)
{
    inputs.height = m_options.height;
    inputs.notchReserveWidth = m_options.notchReserveWidth;
    m_strip->update(std::move(inputs));
    m_host->update();
}

void StripScene::show(notch::PanelViewModel& vm, const notch::NotchExpansionState& state)
{
    notch::TopStripInputs inputs;
    inputs.display = notch::NotchDisplay::derive(vm, state);
    inputs.isExpanded = state.isExpanded();
    inputs.sessionCount = vm.sessionTotal();
    inputs.attentionPrefix = vm.attentionSessionProjectName();
    inputs.approvalText = vm.pendingApprovalMessage();
    inputs.summaryText = vm.summaryText();
    inputs.onSummaryFinished = [this, &vm, &state] {
        vm.setSummaryActive(false);
        show(vm, state);
    };
    show(std::move(inputs));
}

QImage StripScene::render(qreal scale)
{
    QImage image(m_host->size() * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    m_host->render(&image);
    return image;
}

} // namespace murmeli::test
