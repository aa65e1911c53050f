#pragma once

#include <QString>

#include "main/cloud/billing/GiftCardError.h"

namespace murmeli::cloud {

/// The state of one redeem row, with the status line it shows.
struct GiftCardPhase final {
    enum class Kind {
        Idle,
        Redeeming,
        Succeeded, ///< carries the minutes added
        AlreadyRedeemed, ///< this account had redeemed the code before
        Failed, ///< carries the error
    };

    Kind kind = Kind::Idle;
    qint64 creditAdded = 0;
    GiftCardError error = GiftCardError::network({});

    static GiftCardPhase idle() { return {}; }
    static GiftCardPhase redeeming() { return { Kind::Redeeming }; }
    static GiftCardPhase succeeded(qint64 creditAdded) { return { Kind::Succeeded, creditAdded }; }
    static GiftCardPhase alreadyRedeemed() { return { Kind::AlreadyRedeemed }; }
    static GiftCardPhase failed(GiftCardError error) { return { Kind::Failed, 0, std::move(error) }; }

    /// The text shown under the row's label.
    QString statusLine() const;

    bool operator==(const GiftCardPhase&) const = default;
};

} // namespace murmeli::cloud
