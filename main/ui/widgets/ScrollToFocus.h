#pragma once

class QScrollArea;

namespace murmeli::ui::ScrollToFocus {

/// Tab goes from control to control of the area's content and the area scrolls to each, from whichever side the
/// focus came into it; the area itself is no stop, since it shows no focus of its own.
void install(QScrollArea& area);

} // namespace murmeli::ui::ScrollToFocus
