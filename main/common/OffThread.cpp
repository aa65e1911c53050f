#include "main/common/OffThread.h"

namespace murmeli::common {

QThreadPool& lookPool()
{
    // Enough for the looks of several sessions at once; a stuck one costs one of them.
    constexpr int lookThreads = 4;
    static QThreadPool* const pool = [] {
        auto* made = new QThreadPool;
        made->setMaxThreadCount(lookThreads);
        made->setObjectName(QStringLiteral("murmeli.looks"));
        return made;
    }();
    return *pool;
}

} // namespace murmeli::common
