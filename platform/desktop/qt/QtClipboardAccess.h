#pragma once

#include <functional>
#include <memory>

#include <QClipboard>
#include <QObject>

#include "platform/desktop/ClipboardAccess.h"
#include "platform/desktop/qt/ForeignSelectionReader.h"

namespace murmeli::platform {

/// The clipboard through QClipboard, which owns the X selections for this process and answers other programs'
/// requests for them; needs a QGuiApplication. Change counts follow QClipboard::changed, which fires at once for our
/// own writes and when another program takes a selection. A text that another program's newer copy beat is written
/// again after the pending window-system events are handled, so timers and other events may run inside it; a restore
/// is not, since that newer copy is the user's. Another program's content is read through the foreign reader when
/// there is one, so that an owner that does not answer costs snapshotBudgetMs rather than Qt's five seconds.
class QtClipboardAccess final : public ClipboardAccess {
public:
    explicit QtClipboardAccess(std::unique_ptr<ForeignSelectionReader> foreign = nullptr);

    ClipboardContent snapshot(ClipboardMode mode) override;
    bool restore(ClipboardMode mode, const QList<ClipboardItem>& items) override;
    bool setText(const QString& text) override;
    bool setTransientText(ClipboardMode mode, const QString& text) override;
    quint64 changeCount(ClipboardMode mode) const override;

private:
    /// Puts what make() builds on the selection and checks that the display took it, up to attempts times.
    bool offer(QClipboard::Mode mode, int attempts, const std::function<QMimeData*()>& make);

    std::unique_ptr<ForeignSelectionReader> m_foreign;
    quint64 m_counts[2] = { 0, 0 };
    // Ends the change-count connection with this object.
    QObject m_context;
};

} // namespace murmeli::platform
