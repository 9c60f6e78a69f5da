#include "windows/CommandOrigin.h"

#include <vector>

namespace {
// The origins of the commands under way, oldest first; an origin let go leaves an expired entry,
// dropped at the next look. Only the user-interface thread starts commands.
std::vector<std::weak_ptr<void>> &held()
{
    static std::vector<std::weak_ptr<void>> origins;
    return origins;
}
} // namespace

CommandOrigin::CommandOrigin(QWidget *control)
    : m_entry(std::make_shared<Entry>(Entry{control ? control->window() : nullptr}))
{
    auto &origins = held();
    std::erase_if(origins, [](const std::weak_ptr<void> &o) { return o.expired(); });
    origins.push_back(m_entry);
}

QWidget *CommandOrigin::current()
{
    auto &origins = held();
    std::erase_if(origins, [](const std::weak_ptr<void> &o) { return o.expired(); });
    for (auto it = origins.rbegin(); it != origins.rend(); ++it) {
        const auto entry = std::static_pointer_cast<Entry>(it->lock());
        if (entry && entry->window && entry->window->isVisible())
            return entry->window;
    }
    return nullptr;
}
