#include "platform/text/Text.h"

#include <gtest/gtest.h>

using pelvar::text::splitKeyValue;
using pelvar::text::splitText;

using Pieces = std::vector<std::string>;

TEST(SplitText, FollowsTheListRules) {
    EXPECT_EQ(splitText("", ":"), Pieces{});
    EXPECT_EQ(splitText("a:b:", ":"), (Pieces{"a", "b"}));
    EXPECT_EQ(splitText("a::b", ":"), (Pieces{"a", "", "b"}));
    EXPECT_EQ(splitText(":a", ":"), (Pieces{"", "a"}));
    EXPECT_EQ(splitText("a--b", "--"), (Pieces{"a", "b"}));
}

TEST(SplitKeyValue, ValueStopsAtASecondEquals) {
    const auto kv = splitKeyValue("Password =se=cret");
    EXPECT_EQ(kv.key, "Password ");
    EXPECT_EQ(kv.value, "se");
    EXPECT_FALSE(splitKeyValue("no equals here").hasEquals);
}

TEST(IsNumeric, AcceptsNumbersOnly) {
    using pelvar::text::isNumeric;
    EXPECT_TRUE(isNumeric("21"));
    EXPECT_TRUE(isNumeric(" 99999 "));
    EXPECT_TRUE(isNumeric("-1.5"));
    EXPECT_FALSE(isNumeric("80a"));
    EXPECT_FALSE(isNumeric(""));
    EXPECT_FALSE(isNumeric("0x10"));
    EXPECT_FALSE(isNumeric("nan"));
}
