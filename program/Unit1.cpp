#include "program/Unit1.h"

#include "drill/number_text.h"
#include "program/Unit2.h"

using toolkit::ControlKind;

TForm1* Form1 = nullptr;

TForm1::TForm1()
    : Form("Form1",
           {
               {"FormActivate", [this] { FormActivate(); }},
               {"bbResClick", [this] { bbResClick(); }},
               {"bkCloseClick", [this] { bkCloseClick(); }},
           }),
      Lb1(control("Lb1", ControlKind::Label)), Label1(control("Label1", ControlKind::Label)),
      Label2(control("Label2", ControlKind::Label)), Lb2(control("Lb2", ControlKind::Label)),
      Lb3(control("Lb3", ControlKind::Label)), bkClose(control("bkClose", ControlKind::Button)),
      bbRes(control("bbRes", ControlKind::OkButton)), Numb(control("Numb", ControlKind::Edit)),
      Panel1(control("Panel1", ControlKind::Panel)) {
}

void TForm1::FormActivate() {
    // The remaining count keeps its designed "20" until the first accepted answer.
    Lb1.setText(state.beginSeries());
}

void TForm1::bbResClick() {
    // A rejected answer raises here: the field keeps its text so the pupil can correct it, and
    // the exercise and the counts stay as they were.
    const drill::AnswerResult result = state.submitAnswer(Numb.text());
    Numb.setText("");
    Numb.setFocus();
    Lb3.setText(drill::formatInteger(result.remaining));
    Lb1.setText(result.exerciseText);
    if (result.seriesOver) {
        Numb.setEnabled(toolkit::Enabled::No);
        bbRes.setEnabled(toolkit::Enabled::No);
        Form2->showModal(); // its result does not matter
    }
}

void TForm1::bkCloseClick() {
    close();
}
