#include "main/settings/HotwordsFilter.h"

#include "main/common/TextUtils.h"

namespace murmeli::settings::HotwordsFilter {

QStringList filtered(const QStringList& list, const QString& query)
{
    const QString needle = common::text::trimSpacesAndTabs(query).toLower();
    if (needle.isEmpty()) {
        return list;
    }
    QStringList result;
    for (const QString& entry : list) {
        if (entry.toLower().contains(needle)) {
            result.append(entry);
        }
    }
    return result;
}

} // namespace murmeli::settings::HotwordsFilter
