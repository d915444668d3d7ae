#pragma once
// What the type information of a dispatch object says about its members: which are methods and which
// properties, the type of each value, and the names dir() lists. Built once per interface and shared by every
// object of that interface.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/com/ComInterfaces.h"

namespace tessel::python {

struct Member {
    DISPID id = DISPID_UNKNOWN;
    std::string name;   // as the type information spells it
    std::string alias;  // the help string, when it is a name too (the driver's Russian names)
    bool method = false;
    bool readable = false;
    bool writable = false;
    VARTYPE type = VT_EMPTY;  // what a getter or method yields
    bool bytes = false;       // a byte string: one character per byte, handed to Python as bytes
};

class MemberTable {
  public:
    // The table of `dispatch`'s type information, shared by every object of the same interface; an empty
    // table when the object gives none (names are then still resolved by the object, only dir() is bare).
    static std::shared_ptr<const MemberTable> Of(IDispatch& dispatch);

    // The member with DISPID `id`, or nullptr.
    const Member* Find(DISPID id) const;
    // Every name and alias, sorted, each once.
    std::vector<std::string> Names() const;
    bool Empty() const { return members_.empty(); }

  private:
    void Walk(ITypeInfo& info, int depth);
    void Add(ITypeInfo& info, const FUNCDESC& desc);

    std::map<DISPID, Member> members_;
    bool driver_ = false;  // the driver's own interface: its byte-string members are known
};

}  // namespace tessel::python
