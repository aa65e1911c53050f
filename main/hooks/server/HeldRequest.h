#pragma once

#include <functional>

namespace murmeli::hooks {

/// A request whose reply is being awaited; tells the reply's producer when the client has gone away.
class HeldRequest final {
public:
    /// Called once, on the owner's thread, when the client closes the connection before the reply.
    std::function<void()> onClosed;

    bool isClosed() const { return m_closed; }

    void markClosed()
    {
        if (m_closed) {
            return;
        }
        m_closed = true;
        if (onClosed) {
            onClosed();
        }
    }

private:
    bool m_closed = false;
};

} // namespace murmeli::hooks
