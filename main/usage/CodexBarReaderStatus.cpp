#include "main/usage/CodexBarReaderStatus.h"

namespace murmeli::usage {

QString toString(const CodexBarReaderStatus& status)
{
    switch (status.kind()) {
    case CodexBarReaderStatus::Case::Error:
        return QStringLiteral("error(%1)").arg(status.code());
    case CodexBarReaderStatus::Case::Idle:
        return QStringLiteral("idle");
    case CodexBarReaderStatus::Case::Active:
        return QStringLiteral("active");
    case CodexBarReaderStatus::Case::NotInstalled:
        return QStringLiteral("notInstalled");
    }
    return {};
}

} // namespace murmeli::usage
