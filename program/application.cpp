#include "program/application.h"

#include "program/Unit1.h"
#include "program/Unit2.h"
#include "toolkit/toolkit.h"

namespace shell {

void substituteFonts() {
    toolkit::Application& application = toolkit::Application::instance();
    // The faces the windows were designed with are used where installed. The stand-ins have
    // Cyrillic letters: first the faces of Debian's font packages, then faces that Windows
    // ships, for a Windows computer that lacks a designed face.
    application.substituteFont("MS Sans Serif",
                               {"DejaVu Sans", "Liberation Sans", "Microsoft Sans Serif"});
    application.substituteFont("MS Reference Sans Serif",
                               {"DejaVu Sans", "Liberation Sans", "Verdana"});
    application.substituteFont("Tahoma", {"PT Sans", "DejaVu Sans", "Verdana"});
    application.substituteFont("Modern No. 20",
                               {"Liberation Serif", "DejaVu Serif", "Times New Roman"});
    application.substituteFont("Monotype Corsiva", {"Z003", "DejaVu Serif", "Segoe Script"});
}

int run(int& argc, char** argv) {
    toolkit::Application application(argc, argv);
    application.setIcon("MAINICON");
    substituteFonts();

    TForm1 mainWindow;
    Form1 = &mainWindow;
    TForm2 resultWindow;
    Form2 = &resultWindow;

    mainWindow.show();
    const int status = application.run();

    Form2 = nullptr;
    Form1 = nullptr;
    return status;
}

} // namespace shell
