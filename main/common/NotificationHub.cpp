#include "main/common/NotificationHub.h"

namespace murmeli::common {

NotificationHub::NotificationHub(QObject* parent) : QObject(parent) { }

} // namespace murmeli::common
