#pragma once
// The properties and methods the component offers the platform: the driver's own members, read from its one
// member list (English and Russian names, kind, type), so that a member added to the driver appears here
// without more. This unit alone knows the list's shape.

#include "driver/automation/untAddin.h"

// Empties both lists, then enters every member of the driver's dual interfaces in their order: a property
// goes to `props`, readable, writable when it has a setter, with the type of its value; a method goes to
// `methods`, with the type of its value (VT_EMPTY for one that yields nothing). Throws std::bad_alloc when
// memory runs out.
void BuildNativeMembers(TAddinItems& props, TAddinItems& methods);
