#include "main/ui/widgets/FocusRing.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QPainter>
#include <QWindow>

#include "main/ui/design/Tokens.h"

namespace murmeli::ui {

namespace {

constexpr int outset = FocusRing::gap + FocusRing::lineWidth;
constexpr qreal kitRadius = 6;

// The ring itself: a rounded outline along its own edges.
class RingPainter final : public QWidget {
public:
    explicit RingPainter(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
    }

    /// The corners' radius along the middle of the line.
    qreal radius = kitRadius;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(ui::Color::vantorBrass, FocusRing::lineWidth));
        painter.setBrush(Qt::NoBrush);
        const qreal half = FocusRing::lineWidth / 2.0;
        const QRectF path = QRectF(rect()).adjusted(half, half, -half, -half);
        const qreal corner = std::min(radius, std::min(path.width(), path.height()) / 2);
        painter.drawRoundedRect(path, corner, corner);
    }
};

// Text fields show where the typing goes by themselves; scroll areas are no stops of their own.
bool showsItsOwnFocus(const QWidget& widget)
{
    return qobject_cast<const QLineEdit*>(&widget) != nullptr
        || (qobject_cast<const QAbstractScrollArea*>(&widget) != nullptr
            && qobject_cast<const QAbstractItemView*>(&widget) == nullptr);
}

bool isViewport(const QWidget& widget)
{
    const auto* area = qobject_cast<const QAbstractScrollArea*>(widget.parentWidget());
    return area != nullptr && area->viewport() == &widget;
}

} // namespace

void FocusRing::install(QWidget& window)
{
    new FocusRing(window);
}

FocusRing::FocusRing(QWidget& window) : QObject(&window), m_window(window)
{
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { follow(now); });
}

void FocusRing::follow(QWidget* now)
{
    release();
    if (QWindow* handle = m_window.windowHandle(); handle != nullptr && m_clicks != handle) {
        // Every press of the pointer in the window passes here before it reaches a control.
        handle->installEventFilter(this);
        m_clicks = handle;
    }
    // Qt marks the window when the focus moves by Tab, Shift+Tab or a shortcut; a click takes the mark off.
    if (now == nullptr || now->window() != &m_window || !m_window.testAttribute(Qt::WA_KeyboardFocusChange)
        || showsItsOwnFocus(*now)) {
        return;
    }
    m_control = now;
    m_chain = { now };
    auto* ring = static_cast<RingPainter*>(m_ring.data());
    QWidget* host = now->parentWidget();
    auto* list = qobject_cast<QAbstractItemView*>(now);
    if (list != nullptr) {
        // A list rings its current row, inside the row.
        host = list->viewport();
        m_rowWatch = connect(list->selectionModel(), &QItemSelectionModel::currentChanged, this, &FocusRing::place);
    } else {
        // The ring goes on the nearest surroundings with room for it, short of leaving the scrolled page: a control
        // packed tightly in a container of its own would have its ring cut off.
        QRect ringRect = now->geometry().adjusted(-outset, -outset, outset, outset);
        while (host != &m_window && !isViewport(*host) && !host->rect().contains(ringRect)) {
            ringRect.translate(host->pos());
            m_chain.append(host);
            host = host->parentWidget();
        }
    }
    for (const QPointer<QWidget>& link : std::as_const(m_chain)) {
        link->installEventFilter(this);
    }
    if (ring == nullptr || ring->parentWidget() != host) {
        delete m_ring.data();
        m_ring = ring = new RingPainter(host);
    }
    // Parallel to the control's own corners.
    const QVariant radius = now->property(radiusProperty);
    ring->radius = (radius.isValid() ? radius.toReal() : kitRadius) + (list != nullptr ? 0 : outset) - lineWidth / 2.0;
    place();
}

void FocusRing::place()
{
    if (!m_ring || !m_control || !m_control->isVisible()) {
        if (m_ring) {
            m_ring->hide();
        }
        return;
    }
    QRect shown;
    if (auto* list = qobject_cast<QAbstractItemView*>(m_control.data())) {
        shown = list->visualRect(list->currentIndex());
    } else {
        shown = QRect(m_control->mapTo(m_ring->parentWidget(), QPoint()), m_control->size())
                    .adjusted(-outset, -outset, outset, outset);
    }
    m_ring->setGeometry(shown);
    m_ring->setVisible(!shown.isEmpty());
    m_ring->raise();
}

void FocusRing::release()
{
    for (const QPointer<QWidget>& link : std::as_const(m_chain)) {
        if (link) {
            link->removeEventFilter(this);
        }
    }
    m_chain.clear();
    disconnect(m_rowWatch);
    m_control = nullptr;
    if (m_ring) {
        m_ring->hide();
    }
}

bool FocusRing::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (watched == m_clicks) {
            m_window.setAttribute(Qt::WA_KeyboardFocusChange, false);
            release();
        }
        break;
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
        if (watched != m_clicks) {
            place();
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace murmeli::ui
