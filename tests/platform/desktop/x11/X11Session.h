#pragma once

#include <memory>
#include <optional>

#include <QByteArray>
#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

#include "platform/desktop/x11/X11Connection.h"
#include "tests/support/DesktopLock.h"
#include "tests/support/DesktopTools.h"

namespace murmeli::test {

/// A fixture for tests on Qt's connection to the test desktop's display; skips outside the desktop. It holds the
/// desktop's keyboard, focus and clipboard for the test.
class X11Session : public ::testing::Test {
protected:
    void SetUp() override;

    std::optional<DesktopLock> m_lock;
    std::shared_ptr<platform::X11Connection> m_connection;
};

} // namespace murmeli::test
