#pragma once
// The automation object's side of the member lists: each row's "where the value lives" made into a get, a
// put or a call on the object and the engine it shares. One generic get, put and call walk the row; no
// member is named here or anywhere else but in its row.

#include <cstddef>
#include <cstdint>

#include "driver/automation/TesselDrv_TLB.h"

class TTesselDrv;

struct TMemberAccess {
    // The value of the property in row `row` of TesselMembers, as a VARIANT of its type. Throws what the
    // engine throws; `value` is then left empty.
    static void Get(TTesselDrv& object, std::size_t row, VARIANT& value);
    // Stores `value` (of the property's type) where the row says, keeping the low bits that a narrow field
    // holds. Throws what the engine throws (a text that names no date, a port that does not open).
    static void Put(TTesselDrv& object, std::size_t row, const VARIANT& value);
    // Calls the method in row `row`: its result code; a failure is turned into the result.
    static std::int32_t Call(TTesselDrv& object, std::size_t row);
    // Whether the method runs under the engine's operation lock: all but those that show a window, whose
    // dialogs call the driver from worker threads while the window is up.
    static bool Locked(std::size_t row);

  private:
    struct TRow;
    static const TRow& At(std::size_t row);
    template <TMemberKind Kind, TMemberType Type, TMemberWidth Width, typename Where>
    static constexpr TRow Property();
    template <auto Operation, bool OfEngine, bool Locked>
    static constexpr TRow Method();
};
