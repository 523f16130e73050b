#pragma once

// How the toolkit's controls are exposed to assistive technology (screen readers): roles, names
// and texts for the controls that Qt draws its own way.

namespace toolkit::detail {

// Registers the accessibility support; called once when the application is set up.
void installAccessibility();

} // namespace toolkit::detail
