#pragma once

#include <memory>

#include "main/notch/kit/TextView.h"
#include "main/notch/kit/ViewEnvironment.h"

// The ears of the closed strip that are plain compositions of text and other views, with no state of their own.
namespace murmeli::notch::StripEars {

/// The welcome strip's serif italic, in brass.
TextStyle greetingStyle();
/// The welcome strip's left half, "Hi, murmeli", never cut.
std::unique_ptr<View> startLeftEar();
/// "·3·" in brass for a count of 3; nothing at all below 1.
std::unique_ptr<View> idleSessionCount(int count);
/// The recording ear: the six-bar wave and "REC".
std::unique_ptr<View> pttRightEar(const ViewEnvironment& environment);

} // namespace murmeli::notch::StripEars
