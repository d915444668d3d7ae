#include "driver/automation/TesselDrv_TLB.h"

#include <functional>
#include <stdexcept>

#include "common/platform/CodePage.h"

// Clients compiled against the published library depend on these slot totals; a row lost or mistyped in the
// table changes them.
static_assert(TesselSlotCount(TMemberInterface::Driver) == 303);
static_assert(TesselSlotCount(TMemberInterface::Driver2) == 311);
static_assert(TesselSlotCount(TMemberInterface::Driver3) == 312);

namespace {

std::size_t RowIndex(const TTesselMember& member) {
    const TTesselMember* first = TesselMembers.data();
    const TTesselMember* last = first + TesselMembers.size();
    // std::less gives a total order even for pointers outside the table.
    std::less<const TTesselMember*> before;
    if (before(&member, first) || !before(&member, last))
        throw std::invalid_argument("member is not a row of the member table");
    return static_cast<std::size_t>(&member - first);
}

}  // namespace

const TTesselMember* FindTesselMember(std::string_view name, TMemberInterface iface) {
    for (const TTesselMember& m : TesselMembers) {
        if (m.iface > iface) break;
        if (tessel::SameTextNoCase(name, m.name) || tessel::SameTextNoCase(name, m.name1C)) return &m;
    }
    return nullptr;
}

const TTesselMember* FindTesselMemberByDispId(LONG dispId, TMemberInterface iface) {
    for (const TTesselMember& m : TesselMembers) {
        if (m.iface > iface) break;
        if (m.dispId == dispId) return &m;
    }
    return nullptr;
}

std::optional<std::size_t> TesselRowOfDispId(LONG dispId, TMemberInterface iface) {
    const TTesselMember* member = FindTesselMemberByDispId(dispId, iface);
    if (member == nullptr) return std::nullopt;
    return static_cast<std::size_t>(member - TesselMembers.data());
}

int TesselGetSlot(const TTesselMember& member) {
    const std::size_t index = RowIndex(member);
    int slot = TesselBaseSlotCount;
    for (std::size_t i = 0; i < index; ++i) slot += TesselMembers[i].SlotCount();
    return slot;
}

std::optional<int> TesselPutSlot(const TTesselMember& member) {
    const int getSlot = TesselGetSlot(member);
    if (!member.HasSetter()) return std::nullopt;
    return getSlot + 1;
}
