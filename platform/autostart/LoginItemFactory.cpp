#include "platform/autostart/LoginItemFactory.h"

#include "platform/autostart/xdg/XdgAutostartEntry.h"

namespace murmeli::platform {

std::unique_ptr<LoginItem> makeLoginItem(const QString& executablePath)
{
    return std::make_unique<XdgAutostartEntry>(
        XdgAutostartEntry::standardDirectory(), executablePath, XdgAutostartEntry::standardMadeNote());
}

} // namespace murmeli::platform
