#include "main/notch/layout/NotchExpansionState.h"

namespace murmeli::notch {

NotchExpansionState::NotchExpansionState(QObject* parent) : QObject(parent) { }

bool NotchExpansionState::setExpanded(bool value)
{
    return update(m_isExpanded, value, &NotchExpansionState::isExpandedChanged);
}

bool NotchExpansionState::setStartActive(bool value)
{
    return update(m_startActive, value, &NotchExpansionState::startActiveChanged);
}

bool NotchExpansionState::update(bool& field, bool value, void (NotchExpansionState::*signal)(bool))
{
    if (field == value) {
        return false;
    }
    field = value;
    Q_EMIT(this->*signal)(value);
    Q_EMIT changed();
    return true;
}

} // namespace murmeli::notch
