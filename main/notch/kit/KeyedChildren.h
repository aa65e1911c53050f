#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QRectF>

#include "main/notch/kit/Animation.h"
#include "main/notch/kit/View.h"

namespace murmeli::notch {

/// Children identified by a key. A parent rebuilt on every update keeps each child, and so its view-local state, for
/// as long as its key stays; a key that appears gets a fresh child (whose making is its appear moment); a key that
/// goes keeps its child on screen, at its last frame, while it fades out, and then drops it.
template <typename Key> class KeyedChildren final {
public:
    struct Child {
        Key key;
        std::unique_ptr<View> view;
        Animation opacity = Animation::still(1);
        bool removed = false;
        /// Where the parent last placed the child; a removed child fades out there.
        QRectF frame;
    };
    using Factory = std::function<std::unique_ptr<View>(const Key&)>;

    /// fadeInMs and fadeOutMs: the ease-in-out fades of appearing and removed children; 0 means at once.
    explicit KeyedChildren(qint64 fadeInMs = 0, qint64 fadeOutMs = 0) : m_fadeInMs(fadeInMs), m_fadeOutMs(fadeOutMs) { }

    /// Makes the present children those of keys, in that order; make builds the child of a new key. Children that
    /// are fading out stay behind the present ones until their fade has run.
    void sync(const std::vector<Key>& keys, qint64 nowMs, const Factory& make)
    {
        std::vector<Child> next;
        next.reserve(keys.size() + m_children.size());
        for (const Key& key : keys) {
            auto it = std::find_if(m_children.begin(), m_children.end(),
                [&](const Child& child) { return !child.removed && child.key == key; });
            if (it != m_children.end()) {
                next.push_back(std::move(*it));
                m_children.erase(it);
                continue;
            }
            Child child { key, make(key), Animation::still(1), false, QRectF() };
            if (m_fadeInMs > 0) {
                child.opacity = Animation(0, 1, nowMs, MotionCurve::easeInOut(m_fadeInMs / 1000.0));
            }
            next.push_back(std::move(child));
        }
        for (Child& gone : m_children) {
            if (!gone.removed) {
                gone.removed = true;
                gone.opacity
                    = Animation(gone.opacity.valueAt(nowMs), 0, nowMs, MotionCurve::easeInOut(m_fadeOutMs / 1000.0));
            }
            if (gone.opacity.isRunning(nowMs)) {
                next.push_back(std::move(gone));
            }
        }
        m_children = std::move(next);
    }

    /// The present (not removed) child of key, or null.
    View* find(const Key& key) const
    {
        for (const Child& child : m_children) {
            if (!child.removed && child.key == key) {
                return child.view.get();
            }
        }
        return nullptr;
    }

    /// Drops the children whose fade-out has run by nowMs.
    void prune(qint64 nowMs)
    {
        std::erase_if(m_children, [&](const Child& child) { return child.removed && !child.opacity.isRunning(nowMs); });
    }

    bool isAnimating(qint64 nowMs) const
    {
        return std::any_of(m_children.begin(), m_children.end(),
            [&](const Child& child) { return child.opacity.isRunning(nowMs) || child.view->isAnimating(nowMs); });
    }

    std::vector<Child>& children() { return m_children; }
    const std::vector<Child>& children() const { return m_children; }

private:
    qint64 m_fadeInMs = 0;
    qint64 m_fadeOutMs = 0;
    std::vector<Child> m_children;
};

} // namespace murmeli::notch
