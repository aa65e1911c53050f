#pragma once

#include <optional>

#include "platform/autostart/LoginItem.h"

namespace murmeli::platform {

/// A login item in memory that records the changes asked of it and fails them on request.
class FakeLoginItem final : public LoginItem {
public:
    explicit FakeLoginItem(bool enabled = false) : m_enabled(enabled) { }

    bool isEnabled() const override { return m_enabled; }
    std::optional<QString> setEnabled(bool enabled) override;

    /// Every later change fails with this sentence and changes nothing; nullopt lets them work again.
    std::optional<QString> failure;
    /// How many changes were asked, failed ones included.
    int changeRequests = 0;

private:
    bool m_enabled = false;
};

} // namespace murmeli::platform
