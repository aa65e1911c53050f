#include "main/hooks/sessions/SessionFolders.h"

#include <QDir>
#include <QFileInfo>

namespace murmeli::hooks {

QString SessionFolders::resolved(const QString& folder)
{
    const QString cleaned = QDir::cleanPath(folder);
    const QString canonical = QFileInfo(cleaned).canonicalFilePath();
    return canonical.isEmpty() ? cleaned : canonical;
}

SessionFolders SessionFolders::linksFollowed() const
{
    return { current.startsWith(u'/') ? resolved(current) : current,
        project.startsWith(u'/') ? resolved(project) : project };
}

QStringList SessionFolders::agentFolders() const
{
    QStringList folders;
    const auto add = [&](const QString& folder) {
        if (folder.startsWith(u'/') && folder != u"/" && !folders.contains(folder)) {
            folders.append(folder);
        }
    };
    const QString here = current.startsWith(u'/') ? QDir::cleanPath(current) : QString();
    const QString top = project.startsWith(u'/') ? QDir::cleanPath(project) : QString();
    add(here);
    add(top);
    // An agent further up, in the home folder say, was started for other work; its sessions are not this one.
    if (!top.isEmpty() && here.startsWith(top + u'/')) {
        for (qsizetype cut = here.lastIndexOf(u'/'); cut > top.size(); cut = here.lastIndexOf(u'/', cut - 1)) {
            add(here.left(cut));
        }
    }
    return folders;
}

} // namespace murmeli::hooks
