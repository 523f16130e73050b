// The web page as a window system. Every window is an element of the page (the main window a
// framed box, the others <dialog>s), every control a native element, so the browser's own
// accessibility, zoom and on-screen keyboard apply. The page script (page.js) builds and changes
// the elements; this file adapts them to the neutral toolkit.
//
// The browser has no nested event loop. The program runs under Asyncify: a loop that waits for
// the page's next event gives the browser back its thread while it waits, so the neutral modal
// show and the failure box keep their shape (they return when their window closes). The page
// queues clicks, focus changes, activations and close requests; keys are judged at once by the
// neutral rules, because the browser must know before the key event ends whether its own
// default (a caret move, a click, leaving the page) applies.

#include "toolkit/backend.h"

#include <emscripten.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <vector>

namespace toolkit::detail {

namespace {

// clang-format off
EM_JS(int, pageCreateForm, (int modal, const char* caption, int width, int height), {
    return Drill.createForm(modal, UTF8ToString(caption), width, height);
});
EM_JS(int, pageCreateControl, (int form, int kind, const char* text, int left, int top, int width,
                               int height, const char* font, int fontPx, int colour,
                               int tabStop), {
    return Drill.createControl(form, kind, UTF8ToString(text), left, top, width, height,
                               UTF8ToString(font), fontPx, colour, tabStop);
});
// lines: the controls' numbers in reading order, each line ended by -1.
EM_JS(void, pageControlsCreated, (int form, const int* lines, int count), {
    Drill.controlsCreated(form, Array.from(HEAP32.subarray(lines >> 2, (lines >> 2) + count)));
});
EM_JS(int, pageTextSize, (int form, int control), {
    return lengthBytesUTF8(Drill.text(form, control)) + 1;
});
EM_JS(void, pageText, (int form, int control, char* out, int size), {
    stringToUTF8(Drill.text(form, control), out, size);
});
EM_JS(void, pageSetText, (int form, int control, const char* text), {
    Drill.setText(form, control, UTF8ToString(text));
});
EM_JS(int, pageIsEnabled, (int form, int control), { return Drill.isEnabled(form, control); });
EM_JS(void, pageSetEnabled, (int form, int control, int enabled), {
    Drill.setEnabled(form, control, enabled);
});
EM_JS(void, pageFocus, (int form, int control, int select), {
    Drill.focus(form, control, select);
});
EM_JS(int, pageHasFocus, (int form, int control), { return Drill.hasFocus(form, control); });
EM_JS(void, pageBounds, (int form, int control, int* out), {
    const r = Drill.bounds(form, control);
    HEAP32[out >> 2] = r[0]; HEAP32[(out >> 2) + 1] = r[1];
    HEAP32[(out >> 2) + 2] = r[2]; HEAP32[(out >> 2) + 3] = r[3];
});
// centred: a window centred on the screen, which the page centres again when the screen changes.
EM_JS(void, pageMoveTo, (int form, int left, int top, int centred), {
    Drill.moveTo(form, left, top, centred);
});
EM_JS(void, pageFrame, (int form, int* out), {
    const at = Drill.frame(form);
    HEAP32[out >> 2] = at[0]; HEAP32[(out >> 2) + 1] = at[1];
});
EM_JS(void, pageShow, (int form), { Drill.show(form); });
EM_JS(void, pageHide, (int form), { Drill.hide(form); });
EM_JS(int, pageIsVisible, (int form), { return Drill.isVisible(form); });
EM_JS(void, pageDesktop, (int* out), {
    const d = Drill.desktop();
    HEAP32[out >> 2] = d[0]; HEAP32[(out >> 2) + 1] = d[1];
});
EM_JS(int, pageZeroHeight, (const char* font, int px), {
    return Drill.zeroHeight(UTF8ToString(font), px);
});
EM_JS(void, pagePost, (int kind, int form, int control), { Drill.post(kind, form, control); });
EM_JS(int, pageTake, (int* out), {
    const e = Drill.take();
    if (!e) return 0;
    HEAP32[out >> 2] = e[0]; HEAP32[(out >> 2) + 1] = e[1]; HEAP32[(out >> 2) + 2] = e[2];
    return 1;
});
EM_ASYNC_JS(void, pageWait, (), { await Drill.nextEvent(); });
EM_JS(void, pageShowBox, (const char* caption, const char* text), {
    Drill.showBox(UTF8ToString(caption), UTF8ToString(text));
});
EM_JS(int, pageBoxOpen, (), { return Drill.boxOpen(); });
EM_JS(void, pageEnded, (), { Drill.ended(); });
// clang-format on

// What the page queues; the same numbers in page.js.
enum Event { Click = 1, Focus = 2, Activate = 3, Close = 4, Quit = 5, Wake = 6 };

std::vector<Form*> forms; // by the page's window number
std::vector<std::vector<Control*>> controls;

#include "site_faces.inc"

struct Fonts {
    std::map<std::string, std::vector<std::string>, std::less<>> substitutes;

    // The declared face first (where the device has it), then its stand-ins, then the browser's
    // own. A stand-in that the site carries is named as the site names its subset.
    std::string family(const FontSpec& font) const {
        std::string css = "\"" + font.face + "\"";
        if (auto found = substitutes.find(font.face); found != substitutes.end()) {
            for (const std::string& face : found->second) {
                std::string_view name = face;
                for (const auto& [standIn, site] : siteFaces) {
                    if (face == standIn) {
                        name = site;
                    }
                }
                css += ", \"";
                css += name;
                css += "\"";
            }
        }
        return css + ", sans-serif";
    }
} fonts;

class WebControl final : public ControlPeer {
public:
    WebControl(int form, int id) : form_(form), id_(id) {}
    std::string text() const override {
        std::string text(static_cast<std::size_t>(pageTextSize(form_, id_)), '\0');
        pageText(form_, id_, text.data(), static_cast<int>(text.size()));
        text.resize(text.size() - 1);
        return text;
    }
    void setText(std::string_view text) override {
        pageSetText(form_, id_, std::string(text).c_str());
    }
    bool isEnabled() const override { return pageIsEnabled(form_, id_) != 0; }
    void setEnabled(bool enabled) override { pageSetEnabled(form_, id_, enabled ? 1 : 0); }
    bool isVisible() const override { return pageIsVisible(form_) != 0; }
    void setFocus(FocusCause cause) override {
        pageFocus(form_, id_, cause == FocusCause::Activation ? 0 : 1);
    }
    bool hasFocus() const override { return pageHasFocus(form_, id_) != 0; }
    Rect bounds() const override {
        int r[4];
        pageBounds(form_, id_, r);
        return {r[0], r[1], r[2], r[3]};
    }
    // The click is reported from the loop, as the page reports a click of the mouse.
    void press() override { pagePost(Click, form_, id_); }

private:
    int form_;
    int id_;
};

class WebApplication;
WebApplication* application = nullptr;

class WebForm final : public FormPeer {
public:
    WebForm(int id, std::string caption, const WindowDecl& declaration)
        : id_(id), caption_(std::move(caption)), width_(declaration.outerWidth),
          height_(declaration.outerHeight) {}

    std::unique_ptr<ControlPeer> createControl(Control& control,
                                               const ControlDecl& declaration) override;
    void controlsCreated() override;
    std::string caption() const override { return caption_; }
    void moveTo(Point outerTopLeft) override {
        pageMoveTo(id_, outerTopLeft.x, outerTopLeft.y,
                   declaration->placement == Placement::DesktopCentred ? 1 : 0);
    }
    void show() override;
    void hide() override;
    bool isVisible() const override { return pageIsVisible(id_) != 0; }
    bool isEnabled() const override { return true; }
    void focusWindowItself() override { pageFocus(id_, -1, 0); }
    void activate() override;
    bool isActiveWindow() const override;
    // Where the page has the window now: it places the windows again when the page's size
    // changes.
    Rect frame() const override {
        int at[2];
        pageFrame(id_, at);
        return {at[0], at[1], width_, height_};
    }

    int id() const { return id_; }
    const WindowDecl* declaration = nullptr;

private:
    int id_;
    std::string caption_;
    int width_;
    int height_;
};

class WebApplication final : public ApplicationPeer {
public:
    WebApplication() { application = this; }
    ~WebApplication() override {
        application = nullptr;
        pageEnded();
    }

    // The browser scales for the device itself: a CSS pixel is the 96-dpi pixel.
    int resolution() const override { return 96; }
    int zeroHeight(const FontSpec& font) const override {
        return pageZeroHeight(fonts.family(font).c_str(), font.height);
    }
    std::vector<Rect> monitors() const override {
        int size[2];
        pageDesktop(size);
        return {{0, 0, size[0], size[1]}};
    }
    std::optional<Rect> activeWindowFrame() const override {
        if (active) {
            return active->frame();
        }
        return std::nullopt;
    }
    std::unique_ptr<FormPeer> createForm(Form& form, const WindowDecl& declaration,
                                         FormPeer* owner) override {
        const int id = pageCreateForm(owner ? 1 : 0, declaration.caption.c_str(),
                                      declaration.outerWidth, declaration.outerHeight);
        forms.resize(std::max<std::size_t>(forms.size(), id + 1));
        controls.resize(forms.size());
        forms[id] = &form;
        auto peer = std::make_unique<WebForm>(id, declaration.caption, declaration);
        peer->declaration = &declaration;
        return peer;
    }
    // The page is the program: its file name gives the title.
    std::string executablePath() const override { return "Drill"; }
    std::optional<WindowDecl> layout(std::string_view name) const override;
    bool setIcon(std::string_view name) override { return name == "MAINICON"; }
    void substituteFont(std::string_view face, const std::vector<std::string>& faces) override {
        fonts.substitutes[std::string(face)] = faces;
    }

    void runLoop() override {
        while (!quit) {
            dispatchOrWait();
        }
    }
    void runNestedLoop(const std::function<bool()>& done) override {
        while (!done() && !quit) {
            dispatchOrWait();
        }
    }
    void wakeNestedLoop() override { pagePost(Wake, -1, -1); }
    void postQuit() override { pagePost(Quit, -1, -1); }
    void beginModal(FormPeer&) override {} // a dialog shown modally makes the page inert itself
    void endModal(FormPeer&) override {}
    void showErrorBox(std::string_view caption, std::string_view text) override {
        pageShowBox(std::string(caption).c_str(), std::string(text).c_str());
        while (pageBoxOpen() && !quit) {
            dispatchOrWait();
        }
    }

    WebForm* active = nullptr;
    bool quit = false;

private:
    void dispatchOrWait() {
        int e[3];
        if (!pageTake(e)) {
            pageWait();
            return;
        }
        Form* form = e[1] >= 0 && e[1] < static_cast<int>(forms.size()) ? forms[e[1]] : nullptr;
        Control* control = nullptr;
        if (form && e[2] >= 0 && e[2] < static_cast<int>(controls[e[1]].size())) {
            control = controls[e[1]][e[2]];
        }
        switch (e[0]) {
        case Click:
            if (control) {
                clicked(*control);
            }
            break;
        case Focus:
            if (form) {
                focusEntered(*form, control);
            }
            break;
        case Activate:
            if (form) {
                windowActivated(*form);
            }
            break;
        case Close:
            if (form && closeRequested(*form) == CloseOutcome::Hide) {
                form->state().peer->hide();
            }
            break;
        case Quit:
            quit = true;
            quitTaken();
            break;
        default:
            break;
        }
    }
};

std::unique_ptr<ControlPeer> WebForm::createControl(Control& control,
                                                    const ControlDecl& declaration) {
    const FontSpec& font = declaration.font ? *declaration.font : this->declaration->font;
    const Rect& r = declaration.bounds;
    const int id = pageCreateControl(
        id_, static_cast<int>(declaration.kind), declaration.text.c_str(), r.left, r.top, r.width,
        r.height, fonts.family(font).c_str(), font.height, font.colour == Colour::Maroon ? 1 : 0,
        declaration.tabStop == TabStop::Yes ? 1 : 0);
    controls[id_].resize(std::max<std::size_t>(controls[id_].size(), id + 1));
    controls[id_][id] = &control;
    return std::make_unique<WebControl>(id_, id);
}

// The page puts the controls in reading order, which a screen reader follows. The page numbers
// the controls as they were made, in the order of the declaration.
void WebForm::controlsCreated() {
    std::vector<Rect> places;
    for (const ControlDecl& control : declaration->controls) {
        places.push_back(control.bounds);
    }
    std::vector<int> lines;
    for (const std::vector<std::size_t>& line : readingLines(places)) {
        for (std::size_t index : line) {
            lines.push_back(static_cast<int>(index));
        }
        lines.push_back(-1);
    }
    pageControlsCreated(id_, lines.data(), static_cast<int>(lines.size()));
}

void WebForm::show() {
    pageShow(id_);
    application->active = this;
    pagePost(Activate, id_, -1);
}

void WebForm::hide() {
    pageHide(id_);
    if (application->active == this) {
        application->active = nullptr;
    }
}

void WebForm::activate() {
    application->active = this;
    pagePost(Activate, id_, -1);
}

bool WebForm::isActiveWindow() const {
    return application->active == this;
}

} // namespace

// The layouts were read and checked when the program was built, and are compiled in as data
// (layouts.inc, made by layout_data): the page starts without reading any JSON.
std::optional<WindowDecl> WebApplication::layout(std::string_view name) const {
#include "layouts.inc"
}

std::unique_ptr<ApplicationPeer> createApplicationPeer(int&, char**) {
    return std::make_unique<WebApplication>();
}

// The windows' texts are Russian and the file name Latin: lower case by Unicode's simple rules
// for those two alphabets.
std::string lowerCase(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += static_cast<char>(std::tolower(c));
        } else if (c == 0xD0 && i + 1 < text.size()) {
            const auto d = static_cast<unsigned char>(text[i + 1]);
            ++i;
            if (d >= 0x90 && d <= 0x9F) { // А..П → а..п
                out += '\xD0';
                out += static_cast<char>(d + 0x20);
            } else if (d >= 0xA0 && d <= 0xAF) { // Р..Я → р..я
                out += '\xD1';
                out += static_cast<char>(d - 0x20);
            } else if (d == 0x81) { // Ё → ё
                out += "\xD1\x91";
            } else {
                out += '\xD0';
                out += static_cast<char>(d);
            }
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

} // namespace toolkit::detail

// The page's keys, judged by the neutral rules while the key event lasts: 1 when the browser must
// not apply its own default.
extern "C" EMSCRIPTEN_KEEPALIVE int drill_key(int form, int control, int key, int shift, int ctrl,
                                              int alt) {
    using namespace toolkit::detail; // NOLINT
    if (form < 0 || form >= static_cast<int>(forms.size()) || !forms[form]) {
        return 0;
    }
    toolkit::Control* focused = control >= 0 && control < static_cast<int>(controls[form].size())
                                    ? controls[form][control]
                                    : nullptr;
    const KeyStroke stroke{static_cast<Key>(key), shift != 0, ctrl != 0, alt != 0};
    return keyPressed(*forms[form], focused, stroke) == KeyRoute::Consumed ? 1 : 0;
}
