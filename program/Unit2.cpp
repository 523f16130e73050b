#include "program/Unit2.h"

#include "drill/number_text.h"
#include "program/Unit1.h"

using toolkit::ControlKind;

TForm2* Form2 = nullptr;

TForm2::TForm2()
    : Form("Form2",
           {
               {"FormShow", [this] { FormShow(); }},
               {"Button1Click", [this] { Button1Click(); }},
           }),
      Label1(control("Label1", ControlKind::Label)), Label2(control("Label2", ControlKind::Label)),
      Lb6(control("Lb6", ControlKind::Label)), Lb7(control("Lb7", ControlKind::Label)),
      Button1(control("Button1", ControlKind::Button)) {
}

void TForm2::FormShow() {
    Lb6.setText(drill::formatInteger(Form1->state.correctCount));
    Lb7.setText(drill::formatInteger(Form1->state.mark));
}

void TForm2::Button1Click() {
    close();
}
