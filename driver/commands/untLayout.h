#pragma once
// Helpers shared by the command classes' layouts.

#include <cstddef>

#include "driver/link/untCommand.h"

namespace layout {

// The codecs count positions from 1; the layouts count offsets from 0.
constexpr std::size_t At(std::size_t offset) {
    return offset + 1;
}

// Own fields are copied only between objects of one class; any other source gives its base fields alone.
template <class T>
const T* SameClass(const TCommand& source) {
    return dynamic_cast<const T*>(&source);
}

}  // namespace layout
