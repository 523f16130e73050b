#pragma once

// The main window: the exercise in large type, the fixed total and the exercises left, the answer
// field with its OK button, and the Exit button. It owns the series' drill state, passes each
// typed answer to it, and at the end locks the answer inputs and shows the result window. It does
// not judge answers itself and keeps no other state.

#include "drill/drill_state.h"
#include "toolkit/toolkit.h"

class TForm1 : public toolkit::Form {
public:
    TForm1();

    drill::DrillState state;

    toolkit::Control& Lb1;    // the exercise
    toolkit::Control& Label1; // "Всего примеров -"
    toolkit::Control& Label2; // "Осталось           -"
    toolkit::Control& Lb2;    // the fixed total
    toolkit::Control& Lb3;    // exercises left
    toolkit::Control& bkClose;
    toolkit::Control& bbRes;
    toolkit::Control& Numb; // the answer field
    toolkit::Control& Panel1;

    void FormActivate();
    void bbResClick();
    void bkCloseClick();
};

// The main window of the running program, set when it is created.
extern TForm1* Form1;
