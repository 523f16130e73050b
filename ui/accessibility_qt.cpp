#include "ui/accessibility_qt.h"

namespace toolkit::detail {

void installAccessibility() {}

} // namespace toolkit::detail
