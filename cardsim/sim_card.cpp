#include "cardsim/sim_card.h"

#include <cstring>

#include "cardsim/sim_groups.h"
#include "wire/command_header.h"
#include "wire/status_codes.h"

namespace vorl::sim {

SimCard::SimCard(std::filesystem::path stateDir, SimOptions& options)
    : stateDir_(std::move(stateDir)) {
    using Factory = std::unique_ptr<SimGroup> (*)(SimCard&, SimOptions&);
    const Factory factories[] = {makeUsersGroup, makeNetworkGroup,  makeGeneralGroup,
                                 makeFlashGroup, makeEventLogGroup, makeAdvancedGroup};
    for (Factory make : factories) {
        if (auto group = make(*this, options)) groups_.push_back(std::move(group));
    }
    for (auto& group : groups_) {
        group->setDefaults();
        if (!stateDir_.empty()) group->load(stateDir_);
    }
}

SimCard::~SimCard() = default;

void SimCard::execute(const SimRequest& request, SimReply& reply) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    std::memset(reply.payload, 0, CommandHeader::kMaxPayload);
    for (auto& group : groups_) {
        if (!group->handles(request.command)) continue;
        group->handle(request, reply);
        if (reply.stateChanged) saveGroup(*group);
        return;
    }
    reply.status = kStatusUnsupported;
    reply.length = 0;
}

void SimCard::restart(bool withDefaults) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    for (auto& group : groups_) {
        group->setDefaults();
        if (withDefaults)
            saveGroup(*group);
        else if (!stateDir_.empty())
            group->load(stateDir_);
    }
    ++generation_;
}

unsigned SimCard::generation() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return generation_;
}

void SimCard::saveGroup(const SimGroup& group) const {
    if (!stateDir_.empty()) group.save(stateDir_);
}

}  // namespace vorl::sim
