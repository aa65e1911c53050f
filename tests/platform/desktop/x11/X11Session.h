#pragma once

#include <memory>
#include <optional>

#include <QByteArray>
#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

#include "platform/desktop/x11/X11Connection.h"
#include "tests/support/DesktopTools.h"

namespace murmeli::test {

/// A fixture for tests on Qt's connection to the test desktop's display; skips outside the desktop.
class X11Session : public ::testing::Test {
protected:
    void SetUp() override;

    std::shared_ptr<platform::X11Connection> m_connection;
};

} // namespace murmeli::test
