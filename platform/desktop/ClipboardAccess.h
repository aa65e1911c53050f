#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

namespace murmeli::platform {

/// The two selections of the desktop: the clipboard of copy and paste, and the selection that the last highlighted
/// text fills and a middle click (or Shift+Insert in some terminals) pastes.
enum class ClipboardMode { Clipboard, Selection };

/// The type that marks clipboard content as not to be kept in a clipboard manager's history, and its value.
inline constexpr char transientHintMimeType[] = "x-kde-passwordManagerHint";
inline constexpr char transientHintValue[] = "secret";

/// One type of a clipboard's content with its data.
struct ClipboardItem final {
    QString mimeType;
    QByteArray data;

    friend bool operator==(const ClipboardItem&, const ClipboardItem&) = default;
};

/// What a selection held at one moment.
struct ClipboardContent final {
    /// The selection's change count when it was read.
    quint64 changeCount = 0;
    /// Every type the owner offered and gave data for, in the owner's order; empty for an empty selection.
    QList<ClipboardItem> items;
    /// False when the owner did not hand over every type in time: items holds only those it gave.
    bool complete = true;

    friend bool operator==(const ClipboardContent&, const ClipboardContent&) = default;
};

/// The desktop's clipboard and selection, with change counts of our own. Main thread only: reading another
/// program's content waits for that program's answer, for no longer than snapshotBudgetMs.
class ClipboardAccess {
public:
    ClipboardAccess() = default;
    virtual ~ClipboardAccess() = default;
    Q_DISABLE_COPY_MOVE(ClipboardAccess)

    /// How long one snapshot may wait for the owner of the selection; one that never answers costs this, no more.
    static constexpr int snapshotBudgetMs = 40;

    /// Every type the selection offers now, with its data; incomplete when the owner did not answer in time.
    virtual ClipboardContent snapshot(ClipboardMode mode) = 0;
    /// Makes the selection offer items again (empties it when there are none); false when the display kept another
    /// program's content instead because that program took the selection after our last write.
    virtual bool restore(ClipboardMode mode, const QList<ClipboardItem>& items) = 0;
    /// Puts text on the clipboard as plain text, to stay there; false when the display kept another program's content.
    virtual bool setText(const QString& text) = 0;
    /// Puts text on the selection, marked so that clipboard managers keep it out of their history: it is there only
    /// to be pasted once. False when the display kept another program's content (a paste would paste that), or when
    /// the desktop has no such selection.
    virtual bool setTransientText(ClipboardMode mode, const QString& text) = 0;
    /// How many times the selection changed since this object was made, by us or by anyone else.
    virtual quint64 changeCount(ClipboardMode mode) const = 0;
};

} // namespace murmeli::platform
