#pragma once
// `members`: the driver's own description of its interface, read from its type information, one line per
// member entry: DISPID, English name, Russian name (the help string), kind (method, get, put) and type.
//   10  GetECRStatus                 ПолучитьСостояниеККМ            method  long
//   36  Barcode                      ШтрихКод                        put     string

#include <ostream>

#include "common/com/ComInterfaces.h"

namespace tessel::cli {

// Walks IDispatch::GetTypeInfo(0) and the interfaces it continues (ancestors first), skipping the IUnknown
// and IDispatch members and entries seen already. Returns how many lines it printed. Throws
// std::runtime_error naming the call when the driver gives no type information.
std::size_t PrintMembers(IDispatch& driver, std::ostream& out);

}  // namespace tessel::cli
