#pragma once

#include <QObject>

#include "platform/desktop/ClipboardAccess.h"

namespace murmeli::platform {

/// The clipboard through QClipboard, which owns the X selections for this process and answers other programs'
/// requests for them; needs a QGuiApplication. Change counts follow QClipboard::changed, which fires at once for
/// our own writes and when another program takes a selection.
class QtClipboardAccess final : public ClipboardAccess {
public:
    QtClipboardAccess();

    ClipboardContent snapshot(ClipboardMode mode) override;
    void restore(ClipboardMode mode, const QList<ClipboardItem>& items) override;
    void setText(const QString& text) override;
    void setTransientText(const QString& text) override;
    quint64 changeCount(ClipboardMode mode) const override;

private:
    quint64 m_counts[2] = { 0, 0 };
    // Ends the change-count connection with this object.
    QObject m_context;
};

} // namespace murmeli::platform
