#include "drill/number_text.h"

#include <charconv>

namespace drill {

namespace {

std::string rejectionMessage(std::string_view text) {
    // Built by concatenation: the pupil's text is data, never a format string.
    std::string message;
    message.reserve(text.size() + 32);
    message += '\'';
    message += text;
    message += "' is not a valid integer value";
    return message;
}

constexpr std::uint32_t largestDecimalBeforeDigit = 214748364u; // 2147483647 / 10
constexpr std::uint32_t largestHexBeforeDigit = 0x0FFFFFFFu;    // one more digit still fits
constexpr std::uint32_t largestPositive = 2147483647u;
constexpr std::uint32_t largestNegativeMagnitude = 2147483648u;

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// what() is read as a C string, which would end at a NUL byte in the text and cut the message
// short: there each NUL byte is shown as the replacement character U+FFFD, so that the message
// box shows the whole text. message() keeps every byte as typed.
std::string withVisibleNul(const std::string& message) {
    std::string visible;
    visible.reserve(message.size());
    for (const char c : message) {
        if (c == '\0') {
            visible += "\xEF\xBF\xBD";
        } else {
            visible += c;
        }
    }
    return visible;
}

} // namespace

EConvertError::EConvertError(std::string_view text)
    : std::runtime_error(withVisibleNul(rejectionMessage(text))), message_(rejectionMessage(text)) {
}

// All arithmetic is unsigned so that no text can cause signed overflow.
std::int32_t parseInteger(std::string_view text) {
    const auto reject = [text]() { return EConvertError(text); };

    std::size_t position = 0;
    const std::size_t end = text.size();
    while (position < end && text[position] == ' ') {
        ++position;
    }

    bool negative = false;
    if (position < end && (text[position] == '-' || text[position] == '+')) {
        negative = text[position] == '-';
        ++position;
    }

    bool hexadecimal = false;
    if (position < end) {
        const char first = text[position];
        if (first == '$' || first == 'x' || first == 'X') {
            hexadecimal = true;
            ++position;
        } else if (first == '0' && position + 1 < end &&
                   (text[position + 1] == 'x' || text[position + 1] == 'X')) {
            hexadecimal = true;
            position += 2;
        }
    }

    if (position == end) {
        // Empty, only blanks, only a sign, or a hexadecimal prefix without digits.
        throw reject();
    }

    std::uint32_t value = 0;
    if (hexadecimal) {
        for (; position < end; ++position) {
            const int digit = hexDigitValue(text[position]);
            if (digit < 0 || value > largestHexBeforeDigit) {
                throw reject();
            }
            value = value * 16u + static_cast<std::uint32_t>(digit);
        }
    } else {
        for (; position < end; ++position) {
            const char c = text[position];
            if (c < '0' || c > '9' || value > largestDecimalBeforeDigit) {
                throw reject();
            }
            value = value * 10u + static_cast<std::uint32_t>(c - '0');
        }
        if (value > (negative ? largestNegativeMagnitude : largestPositive)) {
            throw reject();
        }
    }

    if (negative) {
        value = 0u - value;
    }
    // Conversion of an out-of-range unsigned value to a signed type is modular since C++20.
    return static_cast<std::int32_t>(value);
}

std::string formatInteger(std::int32_t value) {
    // Eleven characters hold any 32-bit value, so to_chars cannot run out of room.
    char buffer[16];
    const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

} // namespace drill
