// Our Windows-1251 table against the C library's iconv, and what becomes of
// text the code page cannot hold.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <optional>
#include <string>
#include <utility>

#include "cp1251.h"

namespace zorvat {
namespace {

// One conversion through iconv; nullopt when iconv refuses the input.
class Iconv {
  public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Iconv() {
        if (Ok()) iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    bool Ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    std::optional<std::string> operator()(std::string in) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // initial state
        std::string out(16, '\0');
        char* inPtr = in.data();
        std::size_t inLeft = in.size();
        char* outPtr = out.data();
        std::size_t outLeft = out.size();
        if (iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
            return std::nullopt;
        }
        out.resize(out.size() - outLeft);
        return out;
    }

  private:
    iconv_t cd_;
};

std::string Utf8(char32_t cp) {
    std::string out;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

// The byte without a character in the code page; iconv refuses it, we carry
// it as U+0098 so that no byte of a file is lost.
constexpr unsigned char kUnassigned = 0x98;

TEST(Cp1251, EveryByteDecodesAsIconvDoes) {
    Iconv decode("UTF-8", "CP1251");
    ASSERT_TRUE(decode.Ok());
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        const auto expected = decode(byte);
        if (b == kUnassigned) {
            EXPECT_FALSE(expected);
            EXPECT_EQ(Cp1251ToUtf8(byte), Utf8(0x98));
        } else {
            ASSERT_TRUE(expected) << b;
            EXPECT_EQ(Cp1251ToUtf8(byte), *expected) << "byte " << b;
        }
        EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(byte)), byte) << "byte " << b;
    }
}

TEST(Cp1251, EveryCharacterEncodesAsIconvDoes) {
    Iconv encode("CP1251", "UTF-8");
    ASSERT_TRUE(encode.Ok());
    const auto check = [&](char32_t cp) {
        const std::string text = Utf8(cp);
        const auto expected = encode(text);
        const std::string ours = Utf8ToCp1251(text);
        if (cp == kUnassigned) {
            EXPECT_EQ(ours, std::string(1, static_cast<char>(kUnassigned)));
        } else if (expected) {
            EXPECT_EQ(ours, *expected) << "U+" << std::hex << static_cast<unsigned>(cp);
        } else {
            EXPECT_EQ(ours, "?") << "U+" << std::hex << static_cast<unsigned>(cp);
        }
    };
    for (char32_t cp = 0; cp < 0xD800; ++cp)
        check(cp);
    for (char32_t cp = 0xE000; cp < 0x10000; ++cp)
        check(cp);
    for (const char32_t cp : {0x10000u, 0x1F600u, 0x10FFFFu})
        check(cp);
}

TEST(Cp1251, MalformedUtf8BecomesQuestionMarks) {
    const std::pair<std::string, std::string> cases[] = {
        {"\xC3", "?"},                                      // cut short at the end
        {"\xC3(", "?("},                                    // continuation missing
        {"\x80", "?"},                                      // stray continuation byte
        {"\xC0\xAF", "??"},                                 // overlong "/"
        {"\xED\xA0\x80", "???"},                            // a surrogate
        {"\xF4\x90\x80\x80", "????"},                       // above U+10FFFF
        {"\xFF\xFE", "??"},                                 // never in UTF-8
        {"\xD0\x90\xD0\xB1\xFF\xD0\xB2", "\xC0\xE1?\xE2"},  // "Аб" junk "в"
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(Utf8ToCp1251(in), out) << in;
}

TEST(Cp1251, RussianTextBothWays) {
    const std::string utf8 = "ЗОРВАТ-7x Ёлка ёж №5 «€»";
    const std::string cp1251 =
        "\xC7\xCE\xD0\xC2\xC0\xD2-7x \xA8\xEB\xEA\xE0 \xB8\xE6 \xB9"
        "5 \xAB\x88\xBB";
    EXPECT_EQ(Utf8ToCp1251(utf8), cp1251);
    EXPECT_EQ(Cp1251ToUtf8(cp1251), utf8);
}

}  // namespace
}  // namespace zorvat
