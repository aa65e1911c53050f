#pragma once

#include <memory>
#include <optional>
#include <vector>

#include <QHash>
#include <QRectF>
#include <QString>
#include <QStringList>

#include "main/notch/kit/Animation.h"
#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"

namespace murmeli::notch {

class BrassPulseDots;

/// What the tape shows; the root view hands it these on every update.
struct TapeInputs {
    /// The take's partial (or final, unpolished) transcript.
    QString raw;
    /// The polish request runs.
    bool enhancing = false;
    /// The polished text; empty until it arrives.
    QString enhanced;
    /// The widest the content may be; the black band spans whatever width it is given.
    qreal maxWidth = 560;
    /// The clipboard hint; empty when none shows.
    QString modeBHint;
    /// The hint is a notice from murmeli rather than about the clipboard: it goes without the clipboard's heading.
    bool modeBHintIsNotice = false;

    friend bool operator==(const TapeInputs&, const TapeInputs&) = default;
};

/// The black band under the closed strip while a push-to-talk take is live: the partial transcript flowing in
/// character by character behind a blinking cursor, three pulsing dots while it is polished, a cross-fade to the
/// polished text, or the clipboard hint. Text taller than the band's room is pinned to its bottom, so the newest
/// words stay in view.
class NotchASRTape final : public View {
public:
    enum class State { Streaming, Polishing, Crossfade, Hint };

    static constexpr int charsPerLine = 70;
    /// From this many estimated lines on, the streaming text is a viewport on its bottom.
    static constexpr int scrollThresholdLines = 10;
    /// The last this-many characters enter with the insertion animation.
    static constexpr int recentTransitionWindow = 20;
    static constexpr qreal scrollMaxHeight = 220;
    static constexpr qreal paddingX = 14;
    static constexpr qreal paddingY = 6;
    /// Room on the right of the polishing text for the dots.
    static constexpr qreal polishingPaddingRight = 32;
    static constexpr qreal cursorWidth = 2;
    static constexpr qreal cursorHeight = 14;
    static constexpr qreal lineSpacing = 2;
    /// How far a new character slides in from.
    static constexpr qreal insertionSlide = 6;

    explicit NotchASRTape(const ViewEnvironment& environment);
    ~NotchASRTape() override;

    /// The text's user-perceived characters (grapheme clusters), each as its own string.
    static QStringList characters(const QString& text);
    /// Columns a character takes in the line estimate: 2 for wide (CJK, fullwidth, emoji) characters, else 1.
    static int columns(const QString& character);
    /// Line feeds plus the lines of 70 columns the text fills; at least 1.
    static int estimatedLineCount(const QString& text);
    /// Hint, then polished text, then polishing, then streaming.
    static State stateFor(const TapeInputs& inputs);
    /// The index from which characters are recent: the last 20 of count.
    static int transitionStart(int count);

    void update(TapeInputs inputs);
    const TapeInputs& inputs() const { return m_inputs; }
    State state() const { return stateFor(m_inputs); }
    /// The height the current content wants in a band of width, padding included; the streaming text's viewport is
    /// at most scrollMaxHeight.
    qreal contentHeight(qreal width) const;
    /// Where the last frame drew the characters and the cursor, in order; empty outside the streaming state.
    const std::vector<QRectF>& characterFrames() const { return m_drawnFrames; }
    /// The vertical offset of the last streamed frame's text: how far it was moved up to show its bottom.
    qreal pinnedOffset() const { return m_pinnedOffset; }

    QSizeF idealSize() const override { return { m_inputs.maxWidth, contentHeight(m_inputs.maxWidth) }; }
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
    bool isAnimating(qint64 nowMs) const override;

private:
    struct Flow {
        QString raw;
        qreal width = -1;
        QStringList characters;
        /// One per character, then the cursor's; relative to the text's top left.
        std::vector<QRectF> frames;
        qreal height = 0;
    };

    const Flow& flow(qreal innerWidth) const;
    qreal stateHeight(State state, const TapeInputs& inputs, qreal width) const;
    void paintState(QPainter& painter, State state, const TapeInputs& inputs, const QRectF& band, qint64 nowMs);
    void paintStreaming(QPainter& painter, const QRectF& band, qint64 nowMs);
    void paintPolishing(QPainter& painter, const TapeInputs& inputs, const QRectF& band, qint64 nowMs);
    void paintCrossfade(QPainter& painter, const TapeInputs& inputs, const QRectF& band);
    void paintHint(QPainter& painter, const TapeInputs& inputs, const QRectF& band);
    void enterState(State state, qint64 nowMs);

    const ViewEnvironment& m_environment;
    TapeInputs m_inputs;
    /// The state that fades out after a change, with the inputs it showed.
    std::optional<std::pair<State, TapeInputs>> m_outgoing;
    Animation m_fade = Animation::still(1);
    /// When each character of raw first appeared.
    std::vector<qint64> m_appearedAt;
    Animation m_cursor = Animation::still(1);
    std::unique_ptr<BrassPulseDots> m_dots;
    mutable Flow m_flow;
    mutable QHash<QString, qreal> m_advances;
    std::vector<QRectF> m_drawnFrames;
    qreal m_pinnedOffset = 0;
};

} // namespace murmeli::notch
