#include "update/reply_text.h"

#include <gtest/gtest.h>

namespace quillmere {
namespace {

TEST(ReplyText, StatusDecidesWhatIsShown) {
    EXPECT_TRUE(ShowsBody(ParseStatusCode(u"200")));
    for (const char16_t* text : {u"404", u"500", u"201", u"2000", u"", u"OK", u"-200"}) {
        EXPECT_FALSE(ShowsBody(ParseStatusCode(text))) << std::u16string_view(text).size();
    }
    EXPECT_EQ(ParseStatusCode(u" 302"), 302);
    EXPECT_EQ(ParseStatusCode(u"99999999999999"), 999999999);  // bounded, never overflows
}

TEST(ReplyText, ShortBodyIsALostConnection) {
    EXPECT_TRUE(BodyIsWhole(10, std::nullopt));
    EXPECT_TRUE(BodyIsWhole(2048, 2048u));
    EXPECT_FALSE(BodyIsWhole(1024, 2048u));
    EXPECT_FALSE(BodyIsWhole(0, 1u));
}

}  // namespace
}  // namespace quillmere
