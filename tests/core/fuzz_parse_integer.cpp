// Feeds arbitrary bytes to parseInteger and checks properties every answer must have:
// no crash or sanitizer report; a rejection quotes the complete text (what() with each NUL byte
// shown as U+FFFD); tabs and non-ASCII bytes are never accepted; a trailing blank always rejects
// and a leading blank never changes the value; plain decimal texts come back from formatInteger in
// their shortest form; and every accepted value reads back the same from its decimal and its
// hexadecimal form. A broken property aborts.
#include "drill/number_text.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using drill::EConvertError;
using drill::formatInteger;
using drill::parseInteger;

namespace {

[[noreturn]] void broken(const char* property, std::string_view text) {
    std::fprintf(stderr, "property broken: %s; text (%zu bytes): '", property, text.size());
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputs("'\n", stderr);
    std::abort();
}

void check(bool holds, const char* property, std::string_view text) {
    if (!holds) {
        broken(property, text);
    }
}

bool accepted(std::string_view text, std::int32_t& value) {
    try {
        value = parseInteger(text);
        return true;
    } catch (const EConvertError& error) {
        const std::string expected = "'" + std::string(text) + "' is not a valid integer value";
        check(error.message() == expected, "message quotes the text", text);
        // what() is a C string, so it shows each NUL byte of the text as U+FFFD.
        std::string shown;
        for (const char c : expected) {
            shown += c == '\0' ? std::string_view("\xEF\xBF\xBD") : std::string_view(&c, 1);
        }
        check(error.what() == shown, "what() shows the whole message", text);
        return false;
    }
}

// For blanks, an optional sign and decimal digits, the text formatInteger should give back:
// no blanks, no '+', no leading zeros, and no '-' before zero. Empty if the text is not of that
// form.
std::string canonicalDecimal(std::string_view text) {
    std::size_t position = text.find_first_not_of(' ');
    if (position == std::string_view::npos) {
        return {};
    }
    bool negative = false;
    if (text[position] == '-' || text[position] == '+') {
        negative = text[position] == '-';
        ++position;
    }
    const std::string_view digits = text.substr(position);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return {};
    }
    const std::size_t significant = digits.find_first_not_of('0');
    if (significant == std::string_view::npos) {
        return "0";
    }
    return (negative ? "-" : "") + std::string(digits.substr(significant));
}

std::string hexadecimal(std::int32_t value) {
    char buffer[16];
    const std::to_chars_result result =
        std::to_chars(buffer, buffer + sizeof buffer, static_cast<std::uint32_t>(value), 16);
    return "$" + std::string(buffer, result.ptr);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    std::int32_t value = 0;
    if (!accepted(text, value)) {
        return 0;
    }

    for (const char c : text) {
        check(c != '\t', "a tab is never accepted", text);
        check(static_cast<unsigned char>(c) < 0x80, "a non-ASCII byte is never accepted", text);
    }

    const std::string formatted = formatInteger(value);
    const std::string canonical = canonicalDecimal(text);
    if (!canonical.empty()) {
        check(formatted == canonical, "decimal text formats back to its shortest form", text);
    }

    std::int32_t again = 0;
    check(accepted(formatted, again) && again == value, "formatted value reads back", text);
    check(accepted(hexadecimal(value), again) && again == value, "hexadecimal form reads back",
          text);
    check(accepted(" " + std::string(text), again) && again == value,
          "a leading blank changes nothing", text);
    check(!accepted(std::string(text) + " ", again), "a trailing blank rejects", text);
    return 0;
}
