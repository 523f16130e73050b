#pragma once

// The result window: how many answers were correct and the mark they earn, read from the main
// window's drill state each time it is shown. It keeps no state of its own.

#include "toolkit/toolkit.h"

class TForm2 : public toolkit::Form {
public:
    TForm2();

    toolkit::Control& Label1; // "Ответили правильно на "
    toolkit::Control& Label2; // "Оценка"
    toolkit::Control& Lb6;    // correct answers
    toolkit::Control& Lb7;    // the mark
    toolkit::Control& Button1;

    void FormShow();
    void Button1Click();
};

// The result window of the running program, set when it is created.
extern TForm2* Form2;
