#pragma once

#include <QString>
#include <QStringList>

namespace murmeli::hooks {

/// The files and folders the installers created where nothing was, one path a line, so that taking murmeli out
/// again also takes away what only murmeli put there: a settings file that holds nothing else, a folder left empty.
/// The installer scripts keep the same list.
class InstallRecord final {
public:
    /// record: the list's file; an empty path keeps no list.
    explicit InstallRecord(const QString& record = {}) : m_record(record) { }

    /// The list's usual place, below murmeli's data folder.
    static QString defaultPath();

    QStringList paths() const;
    bool contains(const QString& path) const;
    /// Adds paths that are not listed yet (a path with a line break cannot be listed); false when the list could not
    /// be written.
    bool add(const QStringList& paths) const;
    /// Takes the path off the list; the list's file goes once it is empty.
    void remove(const QString& path) const;

private:
    QString m_record;
};

} // namespace murmeli::hooks
