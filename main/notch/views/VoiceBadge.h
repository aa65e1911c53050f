#pragma once

#include <QString>

#include "main/notch/kit/View.h"

namespace murmeli::notch {

/// The small capsule under the tape at the end of a take: "Esc to cancel" while the text waits out its commit
/// window (green dot, or orange and "(raw)" for unpolished text), or "✗ Cancelled" after a cancel. Sized to its
/// content, with 4 points of room above it.
class VoiceBadge final : public View {
public:
    enum class Kind { AwaitingCommit, AwaitingCommitRaw, Cancelled };

    static constexpr qreal spaceAbove = 4;
    static constexpr qreal dot = 6;
    static constexpr qreal spacing = 6;

    explicit VoiceBadge(Kind kind);

    Kind kind() const { return m_kind; }
    /// The badge's words in order: "Esc to cancel" and "(raw)", or "✗" and "Cancelled".
    QStringList words() const;

    QSizeF idealSize() const override;
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;

private:
    Kind m_kind;
};

} // namespace murmeli::notch
