#pragma once

// The program's shell: it sets up the application (title from the executable's name, icon, the
// faces that stand in for fonts missing here), creates the main window and then the result
// window, both hidden, shows the main window and runs the event loop until the main window is
// closed. It reads no arguments, environment, settings or files.

namespace shell {

// Registers the installed faces that stand in for the fonts that the windows name.
void substituteFonts();

// The whole run of the program; returns the exit status, 0.
int run(int& argc, char** argv);

} // namespace shell
