#pragma once

#include <optional>

#include "platform/desktop/ClipboardAccess.h"

namespace murmeli::platform {

/// Reads a selection that another program owns without going through Qt, whose reads wait up to five seconds for an
/// owner that does not answer. Main thread only.
class ForeignSelectionReader {
public:
    ForeignSelectionReader() = default;
    virtual ~ForeignSelectionReader() = default;
    Q_DISABLE_COPY_MOVE(ForeignSelectionReader)

    /// The selection's content (change count 0) read within budgetMs, incomplete when the owner did not answer in
    /// time; nullopt when this process owns it, whose copy Qt has at hand.
    virtual std::optional<ClipboardContent> read(ClipboardMode mode, int budgetMs) = 0;
    /// This process has just taken the selection.
    virtual void noteOwnClaim(ClipboardMode mode) = 0;
};

} // namespace murmeli::platform
