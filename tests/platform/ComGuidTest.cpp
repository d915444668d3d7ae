#include <gtest/gtest.h>

#include <string>

#include "common/com/AddIn1C.h"
#include "common/com/ComCreate.h"
#include "common/com/ComText.h"
#include "common/com/ComTypes.h"

using namespace tessel;

namespace {

struct GuidCase {
    const char* name;
    IID iid;
    const char* text;
};

class GuidText : public ::testing::TestWithParam<GuidCase> {};

TEST_P(GuidText, FormatsAndParsesTheRegistryForm) {
    const GuidCase& c = GetParam();
    EXPECT_EQ(GuidToString(c.iid), c.text);
    OLECHAR buffer[39];
    ASSERT_EQ(StringFromGUID2(c.iid, buffer, 39), 39);
    UniqueBstr wide(SysAllocString(buffer));
    EXPECT_EQ(BstrToUtf8(wide.get()), c.text);

    IID parsed{};
    ASSERT_EQ(IIDFromString(buffer, &parsed), S_OK);
    EXPECT_TRUE(IsEqualIID(parsed, c.iid));
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromString(buffer, &clsid), S_OK);
    EXPECT_EQ(clsid, c.iid);

    // Lower-case hex parses too.
    std::string lower = c.text;
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    const auto fromLower = GuidFromString(lower);
    ASSERT_TRUE(fromLower.has_value());
    EXPECT_EQ(*fromLower, c.iid);
}

INSTANTIATE_TEST_SUITE_P(
    WellKnown, GuidText,
    ::testing::Values(GuidCase{"IUnknown", IID_IUnknown, "{00000000-0000-0000-C000-000000000046}"},
                      GuidCase{"IDispatch", IID_IDispatch, "{00020400-0000-0000-C000-000000000046}"},
                      GuidCase{"IClassFactory", IID_IClassFactory, "{00000001-0000-0000-C000-000000000046}"},
                      GuidCase{"IConnectionPoint", IID_IConnectionPoint,
                               "{B196B286-BAB4-101A-B69C-00AA00341D07}"},
                      GuidCase{"IInitDone", IID_IInitDone, "{AB634001-F13D-11D0-A459-004095E1DAEA}"},
                      GuidCase{"IAsyncEvent", IID_IAsyncEvent, "{AB634004-F13D-11D0-A459-004095E1DAEA}"}),
    [](const auto& info) { return std::string(info.param.name); });

class GuidMalformed : public ::testing::TestWithParam<const char*> {};

TEST_P(GuidMalformed, IsRefused) {
    const std::string text = GetParam();
    EXPECT_FALSE(GuidFromString(text).has_value());
    UniqueBstr wide = Utf8ToBstr(text);
    IID iid{};
    // The system's code for it varies (E_INVALIDARG, CO_E_IIDSTRING); a failure is what every one promises.
    EXPECT_TRUE(FAILED(IIDFromString(wide.get(), &iid)));
    if (!text.empty() && text[0] == '{') {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromString(wide.get(), &clsid), CO_E_CLASSSTRING);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, GuidMalformed,
    ::testing::Values("", "00020400-0000-0000-C000-000000000046", "{00020400-0000-0000-C000-000000000046",
                      "{00020400-0000-0000-C000-0000000000467}", "{0002040G-0000-0000-C000-000000000046}",
                      "{00020400+0000-0000-C000-000000000046}", "{000204000-000-0000-C000-000000000046}",
                      "{Ж0020400-0000-0000-C000-000000000046}"));

TEST(GuidText, BufferTooSmallWritesNothing) {
    OLECHAR buffer[38] = {u'x'};
    EXPECT_EQ(StringFromGUID2(IID_IDispatch, buffer, 38), 0);
    EXPECT_EQ(buffer[0], u'x');
}

}  // namespace
