#include "platform/desktop/qt/QtClipboardAccess.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMimeData>

namespace murmeli::platform {

namespace {

QClipboard::Mode qtMode(ClipboardMode mode)
{
    return mode == ClipboardMode::Clipboard ? QClipboard::Clipboard : QClipboard::Selection;
}

int slot(ClipboardMode mode)
{
    return mode == ClipboardMode::Clipboard ? 0 : 1;
}

constexpr int maxOfferAttempts = 3;

// Qt offers this beside every image type it reads from another program; it is Qt's decoded image, not a type the
// owner gave, and writing it back would offer the image twice.
bool isQtAlias(const QString& format)
{
    return format == QLatin1String("application/x-qt-image");
}

} // namespace

QtClipboardAccess::QtClipboardAccess(std::unique_ptr<ForeignSelectionReader> foreign) : m_foreign(std::move(foreign))
{
    QObject::connect(QGuiApplication::clipboard(), &QClipboard::changed, &m_context, [this](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard) {
            ++m_counts[0];
        } else if (mode == QClipboard::Selection) {
            ++m_counts[1];
        }
    });
}

ClipboardContent QtClipboardAccess::snapshot(ClipboardMode mode)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    const bool ours = mode == ClipboardMode::Clipboard ? clipboard->ownsClipboard() : clipboard->ownsSelection();
    if (m_foreign && !ours) {
        if (std::optional<ClipboardContent> read = m_foreign->read(mode, snapshotBudgetMs)) {
            read->changeCount = m_counts[slot(mode)];
            return *read;
        }
    }
    ClipboardContent content;
    content.changeCount = m_counts[slot(mode)];
    const QMimeData* data = clipboard->mimeData(qtMode(mode));
    if (!data) {
        return content;
    }
    for (const QString& format : data->formats()) {
        if (isQtAlias(format)) {
            continue;
        }
        const QByteArray bytes = data->data(format);
        if (!bytes.isEmpty()) {
            content.items.append({ format, bytes });
        }
    }
    return content;
}

bool QtClipboardAccess::restore(ClipboardMode mode, const QList<ClipboardItem>& items)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (items.isEmpty()) {
        // Asking another program what it holds could wait for it; whatever it holds is newer than ours anyway.
        if (!(mode == ClipboardMode::Clipboard ? clipboard->ownsClipboard() : clipboard->ownsSelection())) {
            return false;
        }
        clipboard->clear(qtMode(mode));
        return true;
    }
    // One claim only: the display refuses it just when another program took the selection after our last claim,
    // and that newer content is the user's, not ours to replace.
    return offer(qtMode(mode), 1, [&items] {
        auto* data = new QMimeData;
        for (const ClipboardItem& item : items) {
            data->setData(item.mimeType, item.data);
        }
        return data;
    });
}

bool QtClipboardAccess::setText(const QString& text)
{
    return offer(QClipboard::Clipboard, maxOfferAttempts, [&text] {
        auto* data = new QMimeData;
        data->setText(text);
        return data;
    });
}

bool QtClipboardAccess::setTransientText(ClipboardMode mode, const QString& text)
{
    const auto transient = [&text] {
        auto* data = new QMimeData;
        data->setText(text);
        data->setData(QLatin1String(transientHintMimeType), QByteArray(transientHintValue));
        return data;
    };
    if (mode == ClipboardMode::Selection && !QGuiApplication::clipboard()->supportsSelection()) {
        return false;
    }
    return offer(qtMode(mode), maxOfferAttempts, transient);
}

bool QtClipboardAccess::offer(QClipboard::Mode mode, int attempts, const std::function<QMimeData*()>& make)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    for (int attempt = 0; attempt < attempts; ++attempt) {
        QMimeData* data = make();
        clipboard->setMimeData(data, mode);
        // Asking for the content asks the display who owns the selection now.
        if (clipboard->mimeData(mode) == data) {
            if (m_foreign) {
                m_foreign->noteOwnClaim(
                    mode == QClipboard::Clipboard ? ClipboardMode::Clipboard : ClipboardMode::Selection);
            }
            return true;
        }
        // Qt stamps its claim with the time of the last event it handled. When another program took the selection
        // a moment ago and Qt has not handled that news yet, the other claim is newer and the display keeps it;
        // handling the news brings Qt's time up to it, and the next claim holds.
        if (attempt + 1 < attempts) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        }
    }
    return false;
}

quint64 QtClipboardAccess::changeCount(ClipboardMode mode) const
{
    return m_counts[slot(mode)];
}

} // namespace murmeli::platform
