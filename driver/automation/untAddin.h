#pragma once
// The members a 1C:Enterprise configuration sees: one item per property and per method of the driver, under
// its English name and under its Russian name (the member's help string), built from the object's own
// dispatch type information.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/com/ComInterfaces.h"

class TAddinItems;

// One 1C-visible member.
class TAddinItem {
  public:
    TAddinItem(TAddinItems& owner, DISPID dispId, std::string name, std::string alias);

    TAddinItems& Owner() const { return *owner_; }

    DISPID DispID;
    std::string Name;   // English name
    std::string Alias;  // Russian name
    bool Readable = false;
    bool Writable = false;
    VARTYPE VarType = VT_EMPTY;  // properties: type of the getter's value

  private:
    TAddinItems* owner_;
};

// An owned list of items in insertion order; indices are the numbers the host uses.
class TAddinItems {
  public:
    TAddinItems() = default;
    TAddinItems(const TAddinItems&) = delete;
    TAddinItems& operator=(const TAddinItems&) = delete;

    // Appends a new item and returns it; throws std::bad_alloc when memory runs out.
    TAddinItem& Add(DISPID dispId, std::string name, std::string alias);
    void Clear() { items_.clear(); }

    std::size_t Count() const { return items_.size(); }
    // The item at `index`, or nullptr for any index outside the list (negative ones included).
    TAddinItem* Get(LONG index) const;
    // Index of the first item whose Name or Alias equals `name` without regard to case (UTF-8, Cyrillic
    // letters folded); -1 when none does.
    LONG FindByName(std::string_view name) const;
    // The last item with this DISPID, searching from the end; nullptr when none has it.
    TAddinItem* FindLastByDispID(DISPID dispId) const;

  private:
    std::vector<std::unique_ptr<TAddinItem>> items_;
};

// Empties both lists, then walks the function descriptions of `typeInfo` in their order: a method goes to
// `methods`; a property getter goes to `props`, readable, with the type of its value; a setter (or a
// by-reference setter) marks the last property item with its DISPID writable, if there is one. Members
// flagged restricted (the IUnknown and IDispatch members that a dispatch description may list ahead of
// the driver's own) are left out: a configuration has no use for them.
// Returns S_OK, or the failing result of the type information (the lists then hold what was read before
// the failure); E_OUTOFMEMORY when memory runs out. Never throws.
HRESULT BuildAddinItems(ITypeInfo& typeInfo, TAddinItems& props, TAddinItems& methods);
