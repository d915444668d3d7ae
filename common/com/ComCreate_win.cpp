// On Windows class creation is the system's, which tells only its result code.
#include "common/com/ComCreate.h"

namespace tessel {

std::string LastClassCreationError() {
    return {};
}

}  // namespace tessel
