#pragma once

// A guard in front of Qt's AT-SPI bridge. Every call an assistive program sends to the program's
// accessible objects on the accessibility bus is checked here before the bridge reads it: a call
// whose arguments do not match what the bridge declares for it is answered with a D-Bus error
// instead of reaching code that would read arguments it was not given, offsets and ranges are
// bounded by the text, and GetAll, which the bridge of Qt 6.4 cannot answer, is answered from the
// bridge's own property reads. It does not change what is answered to a sound call: that is the
// bridge's and the accessible interfaces' work.
//
// It stands only on the Qt versions it was verified on (the list is in the source) and steps
// aside, leaving the bridge as it is, when anything it relies on is missing. The environment
// variable DRILL_ATSPI_GUARD=off keeps it out, for measuring the bridge without it (then the
// program is open to the faults above; see bench/atspi_roundtrip.py).

namespace toolkit::detail {

// Sets the guard up to stand in front of the bridge once the bridge comes up; called once, when
// the application is set up and before its event loop runs.
void installAtspiGuard();

} // namespace toolkit::detail
