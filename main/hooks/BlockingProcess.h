#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

#include "main/common/ProcessRunner.h"

namespace murmeli::hooks {

/// Runs the child to its end on the calling thread, which it blocks for at most the request's time limit plus a short
/// stop grace; both channels are drained while it runs, each kept up to maxOutputBytes. For worker threads only.
common::ProcessResult runProcessBlocking(const common::ProcessRequest& request);

/// The bytes as text, or nullopt when they are not valid UTF-8.
std::optional<QString> decodeUtf8Strictly(const QByteArray& bytes);

} // namespace murmeli::hooks
