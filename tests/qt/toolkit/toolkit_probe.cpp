// A small program on the toolkit for the test on a real X server: one window with buttons, an
// edit field and an OK button, and a second window that one button shows modally. Every handler
// prints one line to standard output, so the test can tell which handler a key reached.

#include "toolkit/toolkit.h"

#include <iostream>
#include <stdexcept>
#include <string>

namespace {

constexpr std::string_view probeLayout = R"({
  "name": "Probe", "class": "TProbe", "caption": "Toolkit probe",
  "outerSize": [420, 200], "placement": "desktopCentred",
  "font": {"face": "DejaVu Sans", "height": 16}, "designTextHeight": 19,
  "events": {"activate": "FormActivate"},
  "controls": [
    {"kind": "label", "name": "Lb1", "bounds": [10, 10, 100, 20], "text": "Probe"},
    {"kind": "button", "name": "bkAlpha", "bounds": [10, 40, 90, 32], "text": "Alpha",
     "tabOrder": 0, "events": {"click": "AlphaClick"}},
    {"kind": "edit", "name": "Numb", "bounds": [110, 40, 120, 30], "text": "", "tabOrder": 1},
    {"kind": "okButton", "name": "bbOk", "bounds": [240, 40, 80, 34], "text": "OK",
     "tabOrder": 2, "events": {"click": "OkClick"}},
    {"kind": "button", "name": "bkGamma", "bounds": [10, 90, 90, 32], "text": "Gamma",
     "tabOrder": 3, "events": {"click": "GammaClick"}},
    {"kind": "button", "name": "bkModal", "bounds": [110, 90, 90, 32], "text": "Modal",
     "tabOrder": 4, "events": {"click": "ModalClick"}}
  ]
})";

constexpr std::string_view modalLayout = R"({
  "name": "ProbeModal", "class": "TProbeModal", "caption": "Probe modal",
  "outerSize": [260, 120], "placement": [40, 40],
  "font": {"face": "DejaVu Sans", "height": 16}, "designTextHeight": 19,
  "events": {"activate": "FormActivate"},
  "controls": [
    {"kind": "button", "name": "bkClose", "bounds": [10, 10, 90, 32], "text": "Close",
     "tabOrder": 0, "events": {"click": "CloseClick"}}
  ]
})";

void say(const std::string& line) {
    std::cout << line << std::endl; // flushed: the test reads it at once
}

} // namespace

int main(int argc, char** argv) {
    toolkit::Application application(argc, argv);
    toolkit::Form* probe = nullptr;
    toolkit::Form* modal = nullptr;

    toolkit::Form probeWindow(toolkit::readLayout(probeLayout),
                              {
                                  {"FormActivate", [] { say("activate"); }},
                                  {"AlphaClick", [] { say("click Alpha"); }},
                                  {"GammaClick", [] { say("click Gamma"); }},
                                  {"OkClick",
                                   [&] {
                                       const std::string text = probe->control("Numb").text();
                                       say("ok " + text);
                                       if (text == "boom") {
                                           throw std::runtime_error("boom");
                                       }
                                       say("ok done");
                                   }},
                                  {"ModalClick",
                                   [&] {
                                       say("click Modal");
                                       modal->showModal();
                                       say("modal closed");
                                   }},
                              });
    toolkit::Form modalWindow(toolkit::readLayout(modalLayout),
                              {
                                  {"FormActivate", [] { say("modal activate"); }},
                                  {"CloseClick", [&] { modal->close(); }},
                              });
    probe = &probeWindow;
    modal = &modalWindow;

    probeWindow.show();
    const int status = application.run();
    say("ended");
    return status;
}
