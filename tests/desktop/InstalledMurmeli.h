#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "tests/support/Files.h"

namespace murmeli::test {

/// murmeli laid out as installed under a temporary prefix: the built executable behind bin/murmeli, the shipped
/// scripts under share/murmeli/scripts, so that the installers are found from the executable and find it.
struct InstalledMurmeli {
    InstalledMurmeli()
    {
        ready = QDir().mkpath(prefix.path() + QStringLiteral("/bin"))
            && QDir().mkpath(prefix.path() + QStringLiteral("/share/murmeli"))
            && writeScript(executable(), "exec '" MURMELI_BINARY "' \"$@\"\n")
            && QFile::link(QStringLiteral(MURMELI_SOURCE_DIR "/Resources/scripts"),
                prefix.path() + QStringLiteral("/share/murmeli/scripts"));
    }

    QString executable() const { return prefix.path() + QStringLiteral("/bin/murmeli"); }

    QTemporaryDir prefix;
    bool ready = false;
};

} // namespace murmeli::test
