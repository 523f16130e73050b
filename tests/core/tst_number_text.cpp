#include "drill/number_text.h"

#include "case_table.h"

#include <doctest/doctest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

using namespace std::string_view_literals;
using drill::EConvertError;
using drill::formatInteger;
using drill::parseInteger;
using test_support::forEachRow;

namespace {

constexpr std::int32_t smallest = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t largest = std::numeric_limits<std::int32_t>::max();

std::string messageFor(std::string_view text) {
    return "'" + std::string(text) + "' is not a valid integer value";
}

} // namespace

TEST_CASE("accepted texts give their value") {
    struct Row {
        const char* name;
        std::string_view text;
        std::int32_t expected;
    };
    static const Row rows[] = {
        {"plain", "42", 42},
        {"leading blanks", "   42", 42},
        {"plus sign", "+7", 7},
        {"minus sign", "-7", -7},
        {"blanks before sign", "  -7", -7},
        {"minus zero", "-0", 0},
        {"zero", "0", 0},
        {"blanks then zero", "  0", 0},
        {"leading zeros are decimal", "007", 7},
        {"zero then digits", "010", 10},
        {"negative with leading zeros", "-0042", -42},
        {"many leading zeros before maximum", "0000000000002147483647", largest},

        {"largest decimal", "2147483647", largest},
        {"smallest decimal", "-2147483648", smallest},
        {"largest with plus", "+2147483647", largest},
        {"ten digits below limit", "2147483640", 2147483640},
        {"nine digits at limit", "214748364", 214748364},

        {"dollar hex", "$2A", 42},
        {"x hex lower digits", "x2a", 42},
        {"X hex", "X2A", 42},
        {"0x hex", "0x2A", 42},
        {"0X hex", "0X2A", 42},
        {"hex all digit letters", "$ABCDEF", 0xABCDEF},
        {"hex lower letters", "$abcdef", 0xABCDEF},
        {"minus before hex", "-$2A", -42},
        {"plus before hex", "+0x2A", 42},
        {"blanks before hex", "  $2A", 42},
        {"hex zero", "$0", 0},
        {"hex seven digits of F", "$FFFFFFF", 0x0FFFFFFF},
        {"hex all ones is minus one", "$FFFFFFFF", -1},
        {"hex sign bit", "$80000000", smallest},
        {"hex largest positive", "$7FFFFFFF", largest},
        {"negated hex sign bit", "-$80000000", smallest},
        {"negated hex all ones", "-$FFFFFFFF", 1},
        {"hex leading zeros beyond eight digits", "$000000002A", 42},
        {"hex 10000000", "$10000000", 0x10000000},
    };

    forEachRow(rows, [](const Row& row) {
        CAPTURE(row.text);
        try {
            CHECK(parseInteger(row.text) == row.expected);
        } catch (const EConvertError& error) {
            FAIL("rejected: ", error.message());
        }
    });
}

TEST_CASE("rejected texts raise EConvertError quoting the whole text") {
    struct Row {
        const char* name;
        std::string_view text;
    };
    static const Row rows[] = {
        {"empty", ""},
        {"only blanks", "   "},
        {"trailing blank", "42 "},
        {"blank inside", "4 2"},
        {"only minus", "-"},
        {"only plus", "+"},
        {"blank after sign", "- 7"},
        {"two signs", "--7"},
        {"plus minus", "+-7"},
        {"sign after digits", "7-"},
        {"leading tab", "\t42"},
        {"trailing newline", "42\n"},
        {"decimal point", "4.0"},
        {"decimal comma", "4,0"},
        {"thousands separator", "1,000"},
        {"letter", "a"},
        {"hex letter in decimal", "2A"},
        {"exponent", "1e3"},
        {"embedded NUL", "4\0"
                         "2"sv},

        {"decimal one above maximum", "2147483648"},
        {"decimal one below minimum", "-2147483649"},
        {"digit taken after 214748365", "2147483650"},
        {"eleven digits", "21474836470"},
        {"huge", "99999999999999999999"},

        {"dollar alone", "$"},
        {"0x alone", "0x"},
        {"x alone", "x"},
        {"minus dollar alone", "-$"},
        {"nine significant hex digits", "$100000000"},
        {"nine hex F", "$FFFFFFFFF"},
        {"non-hex letter", "$2G"},
        {"two hex prefixes", "$0x2A"},
        {"sign after hex prefix", "$-2A"},
        {"blank after hex prefix", "$ 2A"},
        {"zero dollar", "0$2A"},
        {"hex with trailing blank", "$2A "},

        {"fullwidth digits", "\xEF\xBC\x94\xEF\xBC\x92"}, // "４２"
        {"euro after digits", "42\xE2\x82\xAC"},          // "42€"
        {"no-break space before digits", "\xC2\xA0"
                                         "42"},
        {"lone high byte", "\xFF"},
    };

    forEachRow(rows, [](const Row& row) {
        CAPTURE(row.text);
        try {
            const std::int32_t value = parseInteger(row.text);
            FAIL("accepted as ", formatInteger(value));
        } catch (const EConvertError& error) {
            const std::string expected = messageFor(row.text);
            CHECK(error.message() == expected);
            // what() is a C string: it shows each NUL byte of the text as U+FFFD instead.
            std::string shown;
            for (const char c : expected) {
                shown += c == '\0' ? std::string("\xEF\xBF\xBD") : std::string(1, c);
            }
            CHECK(std::string(error.what()) == shown);
        }
    });
}

TEST_CASE("the rejection message keeps the text exactly as typed") {
    struct Row {
        const char* name;
        std::string_view text;
        std::string_view message;
    };
    static const Row rows[] = {
        {"empty", "", "'' is not a valid integer value"},
        {"trailing blank kept", "42 ", "'42 ' is not a valid integer value"},
        {"leading blanks kept", "  4.0", "'  4.0' is not a valid integer value"},
        {"format directives are literal", "%s%n%d%%", "'%s%n%d%%' is not a valid integer value"},
        {"quotes and braces are literal", "'{0}'", "''{0}'' is not a valid integer value"},
        {"UTF-8 bytes kept", "42\xE2\x82\xAC", "'42\xE2\x82\xAC' is not a valid integer value"},
    };

    forEachRow(rows, [](const Row& row) {
        CAPTURE(row.text);
        try {
            parseInteger(row.text);
            FAIL("accepted");
        } catch (const EConvertError& error) {
            CHECK(std::string_view(error.what()) == row.message);
            CHECK(error.message() == row.message);
        }
    });
}

TEST_CASE("formatInteger writes plain decimal that reads back") {
    struct Row {
        const char* name;
        std::int32_t value;
        std::string_view text;
    };
    static const Row rows[] = {
        {"zero", 0, "0"},
        {"one digit", 7, "7"},
        {"round number", 1000, "1000"},
        {"no separators", 1234567, "1234567"},
        {"negative", -42, "-42"},
        {"largest", largest, "2147483647"},
        {"smallest", smallest, "-2147483648"},
    };

    forEachRow(rows, [](const Row& row) {
        CHECK(formatInteger(row.value) == row.text);
        CHECK(parseInteger(row.text) == row.value);
    });
}
