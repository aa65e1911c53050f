#include "main/hooks/install/AgentHookProfile.h"

#include "main/hooks/install/AgentAdapter.h"

namespace murmeli::hooks::AgentHookProfiles {

namespace {

std::vector<AgentHookProfile> build()
{
    std::vector<AgentHookProfile> profiles;
    for (const AgentAdapter& row : AgentAdapters::all()) {
        if (!row.entries.empty()) {
            profiles.push_back({ row.agent, row.hookScript(), row.timeoutInMilliseconds, row.entries });
        }
    }
    return profiles;
}

} // namespace

const std::vector<AgentHookProfile>& all()
{
    static const std::vector<AgentHookProfile> table = build();
    return table;
}

std::optional<AgentHookProfile> find(const QString& agent)
{
    for (const AgentHookProfile& profile : all()) {
        if (profile.agent == agent) {
            return profile;
        }
    }
    return std::nullopt;
}

} // namespace murmeli::hooks::AgentHookProfiles
