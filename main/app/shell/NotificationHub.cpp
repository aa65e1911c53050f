#include "main/app/shell/NotificationHub.h"

namespace murmeli::app {

NotificationHub::NotificationHub(QObject* parent) : QObject(parent) { }

} // namespace murmeli::app
