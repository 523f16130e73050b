#pragma once

// Text rules that need no window system: what a failure's message box says. The application
// title is made in toolkit.h, since it lower-cases by the window system's own rules.

#include <string>
#include <string_view>

namespace toolkit {

// The text of a failure's message box: the message, with a full stop appended when its last
// character sorts after the full stop in code-point order (letters and digits do; ")", "!" and
// "." do not). The text is UTF-8.
std::string failureText(std::string_view message);

} // namespace toolkit
