#pragma once

#include <optional>

#include <QString>
#include <QtGlobal>

namespace murmeli::platform {

/// Whether murmeli starts by itself when the user signs in. The system's record is the truth: it is read afresh on
/// every call. Main thread only.
class LoginItem {
public:
    LoginItem() = default;
    virtual ~LoginItem() = default;
    Q_DISABLE_COPY_MOVE(LoginItem)

    /// Whether murmeli is set to start at sign-in.
    virtual bool isEnabled() const = 0;
    /// Sets it to start at sign-in or not; nullopt when that worked, else a sentence saying why it did not.
    virtual std::optional<QString> setEnabled(bool enabled) = 0;
};

} // namespace murmeli::platform
