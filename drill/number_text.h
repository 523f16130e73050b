// Turns the text a pupil typed into a 32-bit integer and turns integers back into text.
// parseInteger accepts decimal and hexadecimal ("$2A", "x2A", "0x2A") with leading blanks and an
// optional sign, and throws EConvertError for anything else; it never trims trailing blanks, never
// looks at the locale and never accepts non-ASCII digits. formatInteger writes plain decimal.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace drill {

// Thrown when a text is not an integer. The message quotes the complete text byte for byte,
// e.g. "'4.0' is not a valid integer value" (no full stop: the window adds one).
class EConvertError : public std::runtime_error {
public:
    explicit EConvertError(std::string_view text);

    // The message with every byte of the text. what() is a C string, which would stop at a NUL
    // byte: it shows each NUL byte of the text as the replacement character U+FFFD instead.
    const std::string& message() const noexcept { return message_; }

private:
    std::string message_;
};

// Reads the text as typed, left to right:
//  - leading blanks (code 32 only; a tab is an ordinary character) are skipped;
//  - one optional sign, '-' or '+', directly followed by the number;
//  - '$', 'x', 'X', "0x" or "0X" start hexadecimal digits, anything else decimal digits
//    ("0" on its own is zero, "007" is decimal 7);
//  - at least one digit, and nothing after the digits, not even a blank.
// Decimal values must lie in -2147483648..2147483647. Hexadecimal allows up to eight significant
// digits read as a signed 32-bit pattern, so "$FFFFFFFF" is -1 and "-$FFFFFFFF" is 1.
// Throws EConvertError for any other text.
std::int32_t parseInteger(std::string_view text);

// Decimal digits without leading zeros or separators, '-' for negatives, "0" for zero.
std::string formatInteger(std::int32_t value);

} // namespace drill
