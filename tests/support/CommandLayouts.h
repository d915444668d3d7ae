#pragma once
// One harness for the command classes: each family's test file lists its byte-vector cases (the properties a
// block carries and the block itself, both ways) and instantiates CommandLayout over them; the tests of
// CommandLayouts.cpp run every case through the factory: lengths, encoding, decoding, Assign, a block one
// byte short, an answer with a result other than 0.
//
// Properties are compared on a record whose every property that some command row stores holds a marker
// first, so a command that writes a property it should not (or misses one it should write) is seen.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>

#include "common/platform/Bytes.h"
#include "driver/base/ECRDrvData.h"
#include "driver/link/untCommand.h"

struct LayoutCase {
    const char* name;
    std::uint8_t code;
    bool answer;
    std::size_t fixed;  // the block's fixed part: RequestLength - 1 or AnswerLength - 2
    void (*fill)(TECRDrvData&);
    Bytes block;
    // The properties of the request an answer belongs to (they decide how a 1Fh value reads), or nullptr.
    void (*context)(TECRDrvData&) = nullptr;
};

inline constexpr bool kRequest = false, kAnswer = true;

class CommandLayout : public ::testing::TestWithParam<LayoutCase> {};

// Properties that a block cannot carry (a sum, quantity or number too wide for its field, or negative): the
// command built from them is refused with EDriverError(E_INVALIDVALUE) rather than sent as another number.
struct RefusalCase {
    const char* name;
    std::uint8_t code;
    bool answer;
    void (*fill)(TECRDrvData&);
};

class CommandRefusal : public ::testing::TestWithParam<RefusalCase> {};

inline void PrintTo(const LayoutCase& c, std::ostream* os) {
    *os << c.name;
}

// The case's name, for INSTANTIATE_TEST_SUITE_P.
template <class Case>
std::string LayoutName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

// A fill for a block without fields.
inline void NoFields(TECRDrvData&) {}

// The record with every stored property at its marker.
TECRDrvData MarkedRecord();
// Every stored property as "Name=value" lines.
std::string PropertiesText(const TECRDrvData& data);
// What `command` saves onto the marked record.
std::string SavedBy(const TCommand& command, void (*context)(TECRDrvData&) = nullptr);

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A 40-byte name field: the Windows-1251 bytes filled with `fill` (blanks for name40, 00h for text40).
inline Bytes Name40(Bytes cp1251, std::uint8_t fill = ' ') {
    cp1251.resize(40, fill);
    return cp1251;
}
