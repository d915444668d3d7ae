#pragma once
// Fields that several command families share.

#include <array>
#include <cstddef>
#include <cstdint>

#include "driver/commands/FieldCommand.h"

// The register's clock as its commands carry it: date and time bytes.
struct TClockBytes {
    std::uint8_t ECRDay = 0;
    std::uint8_t ECRMonth = 0;
    std::uint8_t ECRYear = 0;
    std::uint8_t ECRHour = 0;
    std::uint8_t ECRMin = 0;
    std::uint8_t ECRSec = 0;
};

// The register's date and time as single bytes from `at` (day, month, year; hour, minute, second), each to
// its byte property unchanged; clients show them as ECRDate and ECRTime. Self's members carry the properties'
// names.
template <class Self>
constexpr std::array<TField, 3> DateFields(layout::TDirection direction, std::size_t at) {
    using layout::u8;
    return {PartOf(TESSEL_FIELD(direction, at, u8, ECRDay), "ECRDate"),
            PartOf(TESSEL_FIELD(direction, at + 1, u8, ECRMonth), "ECRDate"),
            PartOf(TESSEL_FIELD(direction, at + 2, u8, ECRYear), "ECRDate")};
}

template <class Self>
constexpr std::array<TField, 3> TimeFields(layout::TDirection direction, std::size_t at) {
    using layout::u8;
    return {PartOf(TESSEL_FIELD(direction, at, u8, ECRHour), "ECRTime"),
            PartOf(TESSEL_FIELD(direction, at + 1, u8, ECRMin), "ECRTime"),
            PartOf(TESSEL_FIELD(direction, at + 2, u8, ECRSec), "ECRTime")};
}

// Both, the date first.
template <class Self>
constexpr auto ClockFields(layout::TDirection direction, std::size_t at) {
    return Table(DateFields<Self>(direction, at), TimeFields<Self>(direction, at + 3));
}
