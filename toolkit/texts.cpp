#include "toolkit/texts.h"

namespace toolkit {

std::string failureText(std::string_view message) {
    std::string text(message);
    // In UTF-8 the last byte of a non-ASCII character is above 0x7F, so comparing the last byte
    // compares the last character's code point with the full stop's.
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') {
        text += '.';
    }
    return text;
}

} // namespace toolkit
