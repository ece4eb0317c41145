// Tests of name conversion between POSIX bytes and UTF-16.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/posix/posix_text.h"

namespace {

std::u16string ToUtf16(const std::string& bytes)
{
    char16_t* w = PosixToUtf16(bytes.data(), bytes.size(), nullptr);
    std::u16string s(w);
    free(w);
    return s;
}

std::string ToBytes(const std::u16string& text)
{
    char* b = PosixToBytes(text.c_str(), nullptr);
    std::string s(b);
    free(b);
    return s;
}

TEST(NameText, ValidUtf8DecodesToUtf16)
{
    EXPECT_EQ(ToUtf16("photo.jps"), u"photo.jps");
    EXPECT_EQ(ToUtf16("\xD0\x9C\xD0\xB8\xD1\x80"), u"\u041C\u0438\u0440");  // Cyrillic
    EXPECT_EQ(ToUtf16("\xE6\x97\xA5"), u"\u65E5");
    EXPECT_EQ(ToUtf16("\xF0\x9F\x93\xB7"), u"\U0001F4F7");  // a pair of surrogates
}

// Bytes that are no valid UTF-8 become U+DC80..U+DCFF and come back unchanged.
TEST(NameText, StrayBytesSurviveTheRoundTrip)
{
    const std::string names[] = {
        "caf\xE9.jpg",             // Latin-1
        "\xFF\xFE",                // never valid
        "\xC0\xAF",                // overlong slash
        "\xED\xA0\x80x",           // an encoded surrogate
        "\xF4\x90\x80\x80",        // past U+10FFFF
        "end\xE6\x97",             // cut-off sequence at the end
        "\xE6\x97\xA5\x80\xE6\x97\xA5",
    };
    for (const std::string& name : names)
    {
        std::u16string wide = ToUtf16(name);
        for (char16_t u : wide)
            if (u >= 0xD800 && u <= 0xDFFF && !(u >= 0xDC80 && u <= 0xDCFF))
                ADD_FAILURE() << "unexpected surrogate in " << name;
        EXPECT_EQ(ToBytes(wide), name);
    }
    EXPECT_EQ(ToUtf16("caf\xE9"), std::u16string(u"caf") + char16_t(0xDCE9));
}

TEST(NameText, LengthsAreReported)
{
    size_t n = 0;
    char16_t* w = PosixToUtf16("a\xF0\x9F\x93\xB7", 5, &n);
    EXPECT_EQ(n, 3u);
    char* b = PosixToBytes(w, &n);
    EXPECT_EQ(n, 5u);
    free(w);
    free(b);
}

}  // namespace
