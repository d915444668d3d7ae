// The dialog font from the settings store, as a dialog of the driver shows it.
#include <QPalette>

#include "support/DialogFixture.h"

namespace tessel_test {
namespace {

const char* const kFontKey = "\\.DEFAULT\\SOFTWARE\\Korvex\\Font";

struct FontValue {
    const char* name;
    std::variant<std::int32_t, const char*> value;
};

struct FontCase {
    std::vector<FontValue> values;
    const char* family;
    int points;
    bool bold, italic, underline, strikeOut;
    QColor color;
};

void PrintTo(const FontCase& c, std::ostream* os) {
    if (c.values.empty()) *os << "defaults";
    for (const FontValue& v : c.values) *os << v.name << ' ';
}

class FontTest : public DialogTest, public ::testing::WithParamInterface<FontCase> {
  protected:
    void TearDown() override {
        tessel::Registry().DeleteKey(kFontKey);
        DialogTest::TearDown();
    }
};

TEST_P(FontTest, DialogsTakeTheStoredFont) {
    const FontCase& c = GetParam();
    tessel::Registry reg;
    reg.OpenKey(kFontKey, true);
    for (const FontValue& v : c.values) {
        if (const auto* number = std::get_if<std::int32_t>(&v.value))
            reg.WriteInteger(v.name, *number);
        else
            reg.WriteString(v.name, std::get<const char*>(v.value));
    }
    QFont font;
    QColor color;
    ModalScript script;
    script.Then([&](QWidget& dialog) {
        font = dialog.font();
        color = dialog.palette().color(QPalette::WindowText);
        Click(dialog, "btnOK");
    });
    Driver().Call("ShowStatusDlg");
    EXPECT_EQ(font.family(), c.family);
    EXPECT_EQ(font.pointSize(), c.points);
    EXPECT_EQ(font.bold(), c.bold);
    EXPECT_EQ(font.italic(), c.italic);
    EXPECT_EQ(font.underline(), c.underline);
    EXPECT_EQ(font.strikeOut(), c.strikeOut);
    if (c.color.isValid()) {
        EXPECT_EQ(color, c.color);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FontTest,
    ::testing::Values(
        FontCase{{}, "MS Sans Serif", 8, false, false, false, false, {}},
        FontCase{{{"FontIsBold", 0}, {"FontCharSet", 0}}, "MS Sans Serif", 8, false, false, false, false, {}},
        FontCase{{{"FontIsBold", 1}, {"FontIsItalic", 7}}, "MS Sans Serif", 8, true, true, false, false, {}},
        FontCase{{{"FontName", "DejaVu Serif"},
                  {"FontSize", 11},
                  {"FontIsUnderlined", 1},
                  {"FontIsStriledOut", 1}},
                 "DejaVu Serif",
                 11,
                 false,
                 false,
                 true,
                 true,
                 {}},
        FontCase{
            {{"FontColor", 0x0000FF}}, "MS Sans Serif", 8, false, false, false, false, QColor(255, 0, 0)},
        FontCase{{{"FontSize", "12"}, {"FontName", "DejaVu Sans"}},
                 "DejaVu Sans",
                 8,
                 false,
                 false,
                 false,
                 false,
                 {}}));

}  // namespace
}  // namespace tessel_test
