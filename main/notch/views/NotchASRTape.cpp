#include "main/notch/views/NotchASRTape.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QFontMetricsF>
#include <QPainter>
#include <QTextBoundaryFinder>

#include "main/notch/kit/CurveProgress.h"
#include "main/notch/kit/Stack.h"
#include "main/notch/views/BrassPulseDots.h"
#include "main/notch/views/SimpleFlowLayout.h"
#include "main/notch/views/SystemColors.h"
#include "main/ui/design/Faces.h"
#include "main/ui/design/Paragraph.h"
#include "main/ui/design/Tokens.h"

namespace murmeli::notch {

namespace {

using SystemColors::white;
using SystemColors::withAlpha;

constexpr qint64 insertionMs = 100;
constexpr double cursorBlinkSeconds = 0.6;
constexpr qreal hintSpacing = 4;

QFont tapeFont(qreal pixels = 11, QFont::Weight weight = QFont::Normal)
{
    return ui::Faces::geistMono(pixels, weight);
}

bool isWide(char32_t code)
{
    static constexpr std::pair<char32_t, char32_t> ranges[] = {
        { 0x1100, 0x115F }, // Hangul Jamo
        { 0x2600, 0x27BF }, // symbols and dingbats drawn as emoji
        { 0x2E80, 0x303E }, // CJK radicals, symbols and punctuation
        { 0x3041, 0x33FF }, // kana, bopomofo, CJK compatibility
        { 0x3400, 0x4DBF }, // CJK extension A
        { 0x4E00, 0x9FFF }, // CJK unified ideographs
        { 0xA000, 0xA4CF }, // Yi
        { 0xAC00, 0xD7A3 }, // Hangul syllables
        { 0xF900, 0xFAFF }, // CJK compatibility ideographs
        { 0xFE30, 0xFE4F }, // CJK compatibility forms
        { 0xFF00, 0xFF60 }, // fullwidth forms
        { 0xFFE0, 0xFFE6 }, { 0x1F000, 0x1FAFF }, // emoji and pictographs
        { 0x20000, 0x3FFFD }, // CJK extensions B and later
    };
    return std::any_of(std::begin(ranges), std::end(ranges),
        [code](const auto& range) { return code >= range.first && code <= range.second; });
}

/// One regional indicator symbol, half of a flag.
bool isRegionalIndicator(const QString& piece)
{
    if (piece.size() != 2 || !piece.at(0).isHighSurrogate()) {
        return false;
    }
    const char32_t code = QChar::surrogateToUcs4(piece.at(0), piece.at(1));
    return code >= 0x1F1E6 && code <= 0x1F1FF;
}

} // namespace

NotchASRTape::NotchASRTape(const ViewEnvironment& environment) : m_environment(environment)
{
    enterState(State::Streaming, environment.nowMs());
}

NotchASRTape::~NotchASRTape() = default;

QStringList NotchASRTape::characters(const QString& text)
{
    QStringList result;
    if (text.isEmpty()) {
        return result;
    }
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    // The boundary finder parts the two regional indicators of a flag; a pair of them is one character.
    bool pairOpen = false;
    while (finder.toNextBoundary() != -1) {
        const qsizetype end = finder.position();
        const QString piece = text.mid(start, end - start);
        start = end;
        const bool indicator = isRegionalIndicator(piece);
        if (indicator && pairOpen) {
            result.last() += piece;
            pairOpen = false;
            continue;
        }
        pairOpen = indicator;
        result.append(piece);
    }
    return result;
}

int NotchASRTape::columns(const QString& character)
{
    if (character.isEmpty()) {
        return 0;
    }
    const char32_t code = character.at(0).isHighSurrogate() && character.size() > 1
        ? QChar::surrogateToUcs4(character.at(0), character.at(1))
        : character.at(0).unicode();
    return isWide(code) ? 2 : 1;
}

int NotchASRTape::estimatedLineCount(const QString& text)
{
    if (text.isEmpty()) {
        return 1;
    }
    int lineFeeds = 0;
    int width = 0;
    for (const QString& character : characters(text)) {
        lineFeeds += character == QLatin1String("\n") ? 1 : 0;
        width += columns(character);
    }
    const int wrapped = std::max(1, static_cast<int>(std::ceil(width / static_cast<double>(charsPerLine))));
    return std::max(1, lineFeeds + wrapped);
}

NotchASRTape::State NotchASRTape::stateFor(const TapeInputs& inputs)
{
    if (!inputs.modeBHint.isEmpty()) {
        return State::Hint;
    }
    if (!inputs.enhanced.isEmpty()) {
        return State::Crossfade;
    }
    return inputs.enhancing ? State::Polishing : State::Streaming;
}

int NotchASRTape::transitionStart(int count)
{
    return count >= recentTransitionWindow ? count - recentTransitionWindow : 0;
}

void NotchASRTape::update(TapeInputs inputs)
{
    const qint64 now = m_environment.nowMs();
    const TapeInputs& old = m_inputs;
    std::optional<MotionCurve> curve;
    if (old.enhanced.isEmpty() != inputs.enhanced.isEmpty()) {
        curve = MotionCurve::easeInOut(0.9);
    } else if (old.raw != inputs.raw) {
        curve = MotionCurve::easeOut(0.1);
    } else if (old.modeBHint.isEmpty() != inputs.modeBHint.isEmpty()) {
        curve = MotionCurve::easeInOut(0.25);
    }
    const qsizetype count = characters(inputs.raw).size();
    m_appearedAt.resize(static_cast<size_t>(count), now);

    const State before = stateFor(old);
    const State after = stateFor(inputs);
    if (before != after) {
        if (curve) {
            m_outgoing = std::pair { before, old };
            m_fade = Animation(0, 1, now, *curve);
        } else {
            m_outgoing.reset();
            m_fade = Animation::still(1);
        }
        enterState(after, now);
    }
    m_inputs = std::move(inputs);
}

void NotchASRTape::enterState(State state, qint64 nowMs)
{
    if (state == State::Streaming) {
        m_cursor = m_environment.reducesMotion()
            ? Animation::still(1)
            : Animation(0.3, 1.0, nowMs, MotionCurve::easeInOut(cursorBlinkSeconds)).repeatingForever(true);
    }
    if (state == State::Polishing) {
        m_dots = std::make_unique<BrassPulseDots>(m_environment);
    }
}

const NotchASRTape::Flow& NotchASRTape::flow(qreal innerWidth) const
{
    if (m_flow.raw == m_inputs.raw && m_flow.width == innerWidth && !m_flow.frames.empty()) {
        return m_flow;
    }
    m_flow.raw = m_inputs.raw;
    m_flow.width = innerWidth;
    m_flow.characters = characters(m_inputs.raw);
    const QFont font = tapeFont();
    const QFontMetricsF metrics(font);
    const qreal rowHeight = metrics.height();
    std::vector<SimpleFlowLayout::Measure> measures;
    measures.reserve(static_cast<size_t>(m_flow.characters.size()) + 1);
    for (const QString& character : std::as_const(m_flow.characters)) {
        auto cached = m_advances.constFind(character);
        if (cached == m_advances.cend()) {
            cached = m_advances.insert(character, metrics.horizontalAdvance(character));
        }
        const qreal advance = *cached;
        measures.emplace_back([advance, rowHeight](std::optional<qreal>) { return QSizeF(advance, rowHeight); });
    }
    measures.emplace_back([](std::optional<qreal>) { return QSizeF(cursorWidth, cursorHeight); });
    const SimpleFlowLayout layout(0, lineSpacing);
    const qreal width = std::max<qreal>(innerWidth, 1);
    m_flow.frames = layout.place(QRectF(0, 0, width, std::numeric_limits<qreal>::max()), measures);
    m_flow.height = layout.sizeThatFits(width, measures).height();
    return m_flow;
}

qreal NotchASRTape::contentHeight(qreal width) const
{
    return stateHeight(state(), m_inputs, width);
}

qreal NotchASRTape::stateHeight(State state, const TapeInputs& inputs, qreal width) const
{
    const qreal box = std::min(inputs.maxWidth, width);
    switch (state) {
    case State::Streaming: {
        const qreal height = flow(box - 2 * paddingX).height + 2 * paddingY;
        return estimatedLineCount(inputs.raw) >= scrollThresholdLines ? std::min(height, scrollMaxHeight) : height;
    }
    case State::Polishing: {
        const ui::Paragraph text(inputs.raw.isEmpty() ? QStringLiteral(" ") : inputs.raw,
            { tapeFont(), ui::Color::vantorText }, 0, Qt::AlignHCenter);
        return text.sizeFor(box - paddingX - polishingPaddingRight).height() + 2 * paddingY;
    }
    case State::Crossfade: {
        const qreal inner = box - 2 * paddingX;
        const ui::Paragraph raw(inputs.raw.isEmpty() ? QStringLiteral(" ") : inputs.raw, { tapeFont(), {} });
        const ui::Paragraph enhanced(inputs.enhanced, { tapeFont(), {} });
        return std::max(raw.sizeFor(inner).height(), enhanced.sizeFor(inner).height()) + 2 * paddingY;
    }
    case State::Hint:
        return QFontMetricsF(tapeFont(11, QFont::Medium)).height() + hintSpacing + QFontMetricsF(tapeFont(10)).height()
            + 2 * paddingY;
    }
    return 0;
}

void NotchASRTape::paint(QPainter& painter, const QRectF& frame, qint64 nowMs)
{
    painter.save();
    painter.setClipRect(frame, Qt::IntersectClip);
    painter.fillRect(frame, Qt::black);
    const double progress = m_fade.valueAt(nowMs);
    if (m_outgoing && progress < 1) {
        const qreal opacity = painter.opacity();
        painter.setOpacity(opacity * (1 - progress));
        paintState(painter, m_outgoing->first, m_outgoing->second, frame, nowMs);
        painter.setOpacity(opacity * progress);
        paintState(painter, state(), m_inputs, frame, nowMs);
    } else {
        m_outgoing.reset();
        paintState(painter, state(), m_inputs, frame, nowMs);
    }
    painter.restore();
}

void NotchASRTape::paintState(
    QPainter& painter, State state, const TapeInputs& inputs, const QRectF& band, qint64 nowMs)
{
    switch (state) {
    case State::Streaming:
        paintStreaming(painter, band, nowMs);
        return;
    case State::Polishing:
        paintPolishing(painter, inputs, band, nowMs);
        return;
    case State::Crossfade:
        paintCrossfade(painter, inputs, band);
        return;
    case State::Hint:
        paintHint(painter, inputs, band);
        return;
    }
}

void NotchASRTape::paintStreaming(QPainter& painter, const QRectF& band, qint64 nowMs)
{
    const QRectF box = aligned(QSizeF(std::min(m_inputs.maxWidth, band.width()), band.height()), band);
    const Flow& laid = flow(box.width() - 2 * paddingX);
    qreal viewport = band.height() - 2 * paddingY;
    if (estimatedLineCount(m_inputs.raw) >= scrollThresholdLines) {
        viewport = std::min(viewport, scrollMaxHeight - 2 * paddingY);
    }
    // The newest text is at the bottom: whatever does not fit goes out at the top.
    m_pinnedOffset = std::max<qreal>(0, laid.height - viewport);
    const QPointF origin(box.left() + paddingX, band.top() + paddingY - m_pinnedOffset);

    painter.save();
    painter.setClipRect(
        QRectF(band.left(), band.top() + paddingY, band.width(), std::max<qreal>(viewport, 0)), Qt::IntersectClip);
    painter.setFont(tapeFont());
    const qreal ascent = QFontMetricsF(painter.font()).ascent();
    const qsizetype count = laid.characters.size();
    const int recentFrom = transitionStart(static_cast<int>(count));
    m_drawnFrames.clear();
    m_drawnFrames.reserve(laid.frames.size());
    for (const QRectF& local : laid.frames) {
        m_drawnFrames.push_back(local.translated(origin));
    }

    // Settled characters of one row are drawn as one run: the face is monospaced and the row has no gaps.
    QString run;
    QPointF runStart;
    const auto flush = [&] {
        if (!run.isEmpty()) {
            painter.setPen(ui::Color::vantorText);
            painter.drawText(runStart + QPointF(0, ascent), run);
            run.clear();
        }
    };
    for (qsizetype i = 0; i < count; ++i) {
        const QRectF& at = m_drawnFrames[static_cast<size_t>(i)];
        const qint64 age = nowMs - m_appearedAt[static_cast<size_t>(i)];
        if (i >= recentFrom && age < insertionMs) {
            flush();
            const double p = CurveProgress::at(MotionCurve::easeOut(0.1), 0.1, age / 1000.0);
            painter.setPen(withAlpha(ui::Color::vantorText, p));
            painter.drawText(at.topLeft() + QPointF((1 - p) * insertionSlide, ascent), laid.characters[i]);
            continue;
        }
        if (!run.isEmpty() && qFuzzyCompare(at.top() + 1, runStart.y() + 1)) {
            run += laid.characters[i];
            continue;
        }
        flush();
        run = laid.characters[i];
        runStart = at.topLeft();
    }
    flush();
    const QRectF cursor = m_drawnFrames.back();
    painter.fillRect(cursor, withAlpha(ui::Color::vantorBrass, m_cursor.valueAt(nowMs)));
    painter.restore();
}

void NotchASRTape::paintPolishing(QPainter& painter, const TapeInputs& inputs, const QRectF& band, qint64 nowMs)
{
    const QRectF box = aligned(QSizeF(std::min(inputs.maxWidth, band.width()), band.height()), band);
    const ui::Paragraph text(inputs.raw.isEmpty() ? QStringLiteral(" ") : inputs.raw,
        { tapeFont(), ui::Color::vantorText }, 0, Qt::AlignHCenter);
    const qreal width = box.width() - paddingX - polishingPaddingRight;
    const qreal height = text.sizeFor(width).height() + 2 * paddingY;
    const qreal top = band.top() - std::max<qreal>(0, height - band.height());
    text.paint(painter, QPointF(box.left() + paddingX, top + paddingY), width);
    if (m_dots) {
        const QSizeF size = m_dots->idealSize();
        m_dots->paint(
            painter, QRectF(QPointF(box.right() - 10 - size.width(), top + height - 6 - size.height()), size), nowMs);
    }
}

void NotchASRTape::paintCrossfade(QPainter& painter, const TapeInputs& inputs, const QRectF& band)
{
    const QRectF box = aligned(QSizeF(std::min(inputs.maxWidth, band.width()), band.height()), band);
    const qreal inner = box.width() - 2 * paddingX;
    const qreal height = stateHeight(State::Crossfade, inputs, band.width());
    const ui::Paragraph enhanced(inputs.enhanced, { tapeFont(), ui::Color::vantorText }, 0, Qt::AlignHCenter);
    const qreal top = band.top() - std::max<qreal>(0, height - band.height());
    const qreal textHeight = enhanced.sizeFor(inner).height();
    // The raw text only holds the band open (it is drawn fully transparent); the polished text sits in the middle.
    enhanced.paint(painter, QPointF(box.left() + paddingX, top + (height - textHeight) / 2), inner);
}

void NotchASRTape::paintHint(QPainter& painter, const TapeInputs& inputs, const QRectF& band)
{
    const QRectF box = aligned(QSizeF(std::min(inputs.maxWidth, band.width()), band.height()), band);
    const qreal inner = box.width() - 2 * paddingX;
    const qreal height = stateHeight(State::Hint, inputs, band.width());
    const qreal top = band.top() + std::max<qreal>(0, (band.height() - height) / 2) + paddingY;
    if (inputs.modeBHintIsNotice) {
        // A notice is no clipboard hint: it takes the heading's place and the line under it, in the heading's colour.
        const ui::Paragraph notice(inputs.modeBHint, { tapeFont(10), ui::Color::vantorBrass }, 2, Qt::AlignHCenter);
        const qreal free = height - 2 * paddingY - notice.sizeFor(inner).height();
        notice.paint(painter, QPointF(box.left() + paddingX, top + std::max<qreal>(0, free / 2)), inner);
        return;
    }
    const ui::Paragraph header(QStringLiteral("\U0001F4CB \u5DF2\u590D\u5236\u526A\u8D34\u677F"),
        { tapeFont(11, QFont::Medium), ui::Color::vantorBrass }, 1, Qt::AlignHCenter);
    const ui::Paragraph hint(
        inputs.modeBHint, { tapeFont(10), withAlpha(ui::Color::vantorText, 0.7) }, 1, Qt::AlignHCenter);
    header.paint(painter, QPointF(box.left() + paddingX, top), inner);
    hint.paint(painter, QPointF(box.left() + paddingX, top + header.sizeFor(inner).height() + hintSpacing), inner);
}

bool NotchASRTape::isAnimating(qint64 nowMs) const
{
    if (m_fade.isRunning(nowMs)) {
        return true;
    }
    switch (state()) {
    case State::Streaming:
        if (m_cursor.isRunning(nowMs)) {
            return true;
        }
        return std::any_of(
            m_appearedAt.begin(), m_appearedAt.end(), [nowMs](qint64 at) { return nowMs - at < insertionMs; });
    case State::Polishing:
        return m_dots && m_dots->isAnimating(nowMs);
    default:
        return false;
    }
}

} // namespace murmeli::notch
