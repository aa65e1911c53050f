#include "main/notch/model/SessionRow.h"

namespace murmeli::notch {

QString toString(ActiveTaskInfo::Status status)
{
    switch (status) {
    case ActiveTaskInfo::Status::Pending:
        return QStringLiteral("pending");
    case ActiveTaskInfo::Status::InProgress:
        return QStringLiteral("inProgress");
    case ActiveTaskInfo::Status::Completed:
        return QStringLiteral("completed");
    }
    return {};
}

} // namespace murmeli::notch
