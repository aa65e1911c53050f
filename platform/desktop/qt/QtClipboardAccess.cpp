#include "platform/desktop/qt/QtClipboardAccess.h"

#include <QClipboard>
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

// Qt offers this beside every image type it reads from another program; it is Qt's decoded image, not a type the
// owner gave, and writing it back would offer the image twice.
bool isQtAlias(const QString& format)
{
    return format == QLatin1String("application/x-qt-image");
}

} // namespace

QtClipboardAccess::QtClipboardAccess()
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
    ClipboardContent content;
    content.changeCount = m_counts[slot(mode)];
    const QMimeData* data = QGuiApplication::clipboard()->mimeData(qtMode(mode));
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

void QtClipboardAccess::restore(ClipboardMode mode, const QList<ClipboardItem>& items)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (items.isEmpty()) {
        clipboard->clear(qtMode(mode));
        return;
    }
    auto* data = new QMimeData;
    for (const ClipboardItem& item : items) {
        data->setData(item.mimeType, item.data);
    }
    clipboard->setMimeData(data, qtMode(mode));
}

void QtClipboardAccess::setText(const QString& text)
{
    auto* data = new QMimeData;
    data->setText(text);
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
}

void QtClipboardAccess::setTransientText(const QString& text)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    for (const ClipboardMode mode : { ClipboardMode::Clipboard, ClipboardMode::Selection }) {
        if (mode == ClipboardMode::Selection && !clipboard->supportsSelection()) {
            continue;
        }
        auto* data = new QMimeData;
        data->setText(text);
        data->setData(QLatin1String(transientHintMimeType), QByteArray(transientHintValue));
        clipboard->setMimeData(data, qtMode(mode));
    }
}

quint64 QtClipboardAccess::changeCount(ClipboardMode mode) const
{
    return m_counts[slot(mode)];
}

} // namespace murmeli::platform
