#include <gtest/gtest.h>

#include "PlatformKit/Foundation/Text.h"
#include "PlatformKit/Ui/UiContext.h"
#include "PlatformKit/Ui/UiTextLayout.h"
#include "PlatformKit/Ui/UiWidgets.h"

using namespace pk::ui;

namespace {

struct TextLayout : ::testing::Test {
    void SetUp() override { ctx.makeCurrent(); }
    float width(const std::string& s) const { return measureText(s, font).x; }
    UiContext ctx;
    FontSpec font{11, FontWeight::medium};
};

bool endsWithEllipsis(const std::string& s) { return s.size() >= 3 && s.compare(s.size() - 3, 3, "\u2026") == 0; }

}  // namespace

TEST_F(TextLayout, TruncationKeepsFittingTextAndCutsTheRestWithAnEllipsis) {
    const std::string name = "Obsidian Micro-Glass Showcase Turntable";
    EXPECT_EQ(truncatedToWidth(name, font, width(name)), name);
    EXPECT_EQ(truncatedToWidth("", font, 0), "");

    const float limit = width(name) * 0.5f;
    const std::string cut = truncatedToWidth(name, font, limit);
    ASSERT_TRUE(endsWithEllipsis(cut)) << cut;
    EXPECT_LE(width(cut), limit);
    const std::string head = cut.substr(0, cut.size() - 3);
    EXPECT_EQ(name.rfind(head, 0), 0u) << "a prefix of the text";
    EXPECT_NE(head.back(), ' ') << "no space before the ellipsis";
    EXPECT_EQ(truncatedToWidth(name, font, 1), "\u2026") << "nothing fits: the ellipsis alone";

    // A letter with a combining accent is never split from its accent.
    const std::string accented = "e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301";
    const std::string a = truncatedToWidth(accented, font, width(accented) * 0.6f);
    EXPECT_TRUE(pk::isValidUtf8(a));
    EXPECT_EQ(a.find("e\u2026"), std::string::npos) << a;
}

TEST_F(TextLayout, WrapsAtSpacesBreaksLongWordsAndCutsTheLastAllowedLine) {
    const std::string title = "Luminous Circuit Carbon";
    const float twoWords = width("Luminous Circuit") + 1;
    EXPECT_EQ(wrappedLines(title, font, twoWords, 2), (std::vector<std::string>{"Luminous Circuit", "Carbon"}));
    EXPECT_EQ(wrappedLines(title, font, width(title), 2), (std::vector<std::string>{title}));

    const std::string longer = "Volcanic Moss Basalt With Extra Weathered Lichen Layers";
    const auto lines = wrappedLines(longer, font, twoWords, 2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(endsWithEllipsis(lines[1])) << lines[1];
    for (const auto& l : lines) EXPECT_LE(width(l), twoWords) << l;

    const std::string word = "Supercalifragilisticexpialidocious";
    const auto broken = wrappedLines(word, font, width(word) * 0.4f, 5);
    ASSERT_GE(broken.size(), 3u);
    std::string joined;
    for (const auto& l : broken) joined += l;
    EXPECT_EQ(joined, word) << "a word wider than the line is broken between characters, nothing lost";

    EXPECT_EQ(wrappedLines("Line one\nLine two", font, 1000, 3), (std::vector<std::string>{"Line one", "Line two"}));
    EXPECT_TRUE(wrappedLines(title, font, 100, 0).empty());
}
