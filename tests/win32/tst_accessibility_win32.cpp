// The program's accessible objects called in their own process, as the window thread's own code
// or an in-process reader would call them: no COM proxy stands between the caller and the object
// here, so calls without a place for their result reach it (a reader in another process is
// refused those by the proxy before the call leaves it). Each is answered with E_POINTER and
// nothing is written through the null pointer; a refused call leaves its results cleared; and an
// object that a reader holds after its window is gone still answers without touching the window.

#include "toolkit/toolkit.h"
#include "toolkit/win32/backend_win32.h"

#include "case_table.h"

#include <doctest/doctest.h>

#include <oleacc.h>

#include <functional>
#include <string>

using test_support::forEachRow;
using toolkit::detail::win32::ControlWindow;
using toolkit::detail::win32::FormWindow;

namespace {

constexpr std::string_view mainLayout = R"({
  "name": "AccMain", "class": "TAccMain", "caption": "Accessibility main",
  "outerSize": [360, 160], "placement": [20, 20],
  "font": {"face": "Tahoma", "height": 16}, "designTextHeight": 19,
  "controls": [
    {"kind": "label", "name": "Lb1", "bounds": [10, 10, 100, 24], "text": "2 + 3 = "},
    {"kind": "edit", "name": "Numb", "bounds": [120, 10, 100, 24], "text": "", "tabOrder": 0},
    {"kind": "okButton", "name": "bbOk", "bounds": [230, 10, 80, 34], "text": "OK",
     "tabOrder": 1, "events": {"click": "OkClick"}},
    {"kind": "button", "name": "bkClose", "bounds": [10, 60, 90, 32], "text": "Close",
     "tabOrder": 2, "events": {"click": "CloseClick"}}
  ]
})";

constexpr std::string_view dialogLayout = R"({
  "name": "AccDialog", "class": "TAccDialog", "caption": "Accessibility dialog",
  "outerSize": [260, 120], "placement": [60, 60],
  "font": {"face": "Tahoma", "height": 16}, "designTextHeight": 19,
  "controls": [
    {"kind": "label", "name": "Lb1", "bounds": [10, 10, 100, 24], "text": "Mark 5"},
    {"kind": "edit", "name": "Numb", "bounds": [120, 10, 100, 24], "text": "", "tabOrder": 0}
  ]
})";

toolkit::Application& application() {
    static int argc = 1;
    static char name[] = "tst_accessibility_win32.exe";
    static char* argv[] = {name, nullptr};
    static toolkit::Application instance(argc, argv);
    return instance;
}

// The main window stays for the whole run: the first window made is the application's main one.
toolkit::Form& mainForm() {
    application();
    static toolkit::Form form(toolkit::readLayout(mainLayout),
                              {{"OkClick", [] {}}, {"CloseClick", [] {}}});
    return form;
}

HWND windowOf(const toolkit::Form& form) {
    return static_cast<FormWindow&>(form.peer()).handle();
}

HWND windowOf(const toolkit::Control& control) {
    return static_cast<ControlWindow&>(control.peer()).handle();
}

// The client object of a window, as a reader in this process gets it.
IAccessible* objectOf(HWND window) {
    IAccessible* object = nullptr;
    REQUIRE(SUCCEEDED(AccessibleObjectFromWindow(window, OBJID_CLIENT, __uuidof(IAccessible),
                                                 reinterpret_cast<void**>(&object))));
    REQUIRE(object != nullptr);
    return object;
}

VARIANT childId(LONG id) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

const VARIANT self = childId(CHILDID_SELF);

} // namespace

TEST_CASE("a call without a place for its result is refused, and nothing is written") {
    CHECK(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    toolkit::Form& form = mainForm();
    struct Row {
        const char* name;
        std::function<HRESULT(IAccessible*)> call;
    };
    long place = 0;
    BSTR text = nullptr;
    LONG topic = 0;
    const Row rows[] = {
        {"get_accParent", [](IAccessible* o) { return o->get_accParent(nullptr); }},
        {"get_accChildCount", [](IAccessible* o) { return o->get_accChildCount(nullptr); }},
        {"get_accChild", [](IAccessible* o) { return o->get_accChild(childId(1), nullptr); }},
        {"get_accName", [](IAccessible* o) { return o->get_accName(self, nullptr); }},
        {"get_accValue", [](IAccessible* o) { return o->get_accValue(self, nullptr); }},
        {"get_accDescription", [](IAccessible* o) { return o->get_accDescription(self, nullptr); }},
        {"get_accRole", [](IAccessible* o) { return o->get_accRole(self, nullptr); }},
        {"get_accState", [](IAccessible* o) { return o->get_accState(self, nullptr); }},
        {"get_accHelp", [](IAccessible* o) { return o->get_accHelp(self, nullptr); }},
        {"get_accHelpTopic without the file",
         [&](IAccessible* o) { return o->get_accHelpTopic(nullptr, self, &topic); }},
        {"get_accHelpTopic without the topic",
         [&](IAccessible* o) { return o->get_accHelpTopic(&text, self, nullptr); }},
        {"get_accKeyboardShortcut",
         [](IAccessible* o) { return o->get_accKeyboardShortcut(self, nullptr); }},
        {"get_accFocus", [](IAccessible* o) { return o->get_accFocus(nullptr); }},
        {"get_accSelection", [](IAccessible* o) { return o->get_accSelection(nullptr); }},
        {"get_accDefaultAction",
         [](IAccessible* o) { return o->get_accDefaultAction(self, nullptr); }},
        {"accLocation without any place",
         [](IAccessible* o) { return o->accLocation(nullptr, nullptr, nullptr, nullptr, self); }},
        {"accLocation without the height",
         [&](IAccessible* o) { return o->accLocation(&place, &place, &place, nullptr, self); }},
        {"accNavigate",
         [](IAccessible* o) { return o->accNavigate(NAVDIR_FIRSTCHILD, self, nullptr); }},
        {"accHitTest", [](IAccessible* o) { return o->accHitTest(30, 30, nullptr); }},
    };
    const HWND windows[] = {windowOf(form), windowOf(form.control("Lb1")),
                            windowOf(form.control("Numb")), windowOf(form.control("bbOk")),
                            windowOf(form.control("bkClose"))};
    for (HWND window : windows) {
        IAccessible* object = objectOf(window);
        forEachRow(rows, [&](const Row& row) {
            CHECK(row.call(object) == E_POINTER);
            CHECK(text == nullptr);
        });
        object->Release();
    }
}

TEST_CASE("a refused call leaves its results cleared") {
    toolkit::Form& form = mainForm();
    IAccessible* object = objectOf(windowOf(form));
    // What a caller's result places held before: a refusal must not leave it there for the caller
    // to free.
    const auto stale = reinterpret_cast<BSTR>(static_cast<std::uintptr_t>(0x1234));
    VARIANT wrong;
    VariantInit(&wrong);
    wrong.vt = VT_BSTR;
    wrong.bstrVal = SysAllocString(L"1");
    for (const VARIANT& child : {childId(-1), childId(5), childId(0x7fffffff), wrong}) {
        BSTR text = stale;
        CHECK(object->get_accName(child, &text) == E_INVALIDARG);
        CHECK(text == nullptr);
        text = stale;
        CHECK(object->get_accDefaultAction(child, &text) == E_INVALIDARG);
        CHECK(text == nullptr);
        VARIANT role;
        role.vt = VT_BSTR;
        role.bstrVal = stale;
        CHECK(object->get_accRole(child, &role) == E_INVALIDARG);
        CHECK(role.vt == VT_EMPTY);
        IDispatch* found = reinterpret_cast<IDispatch*>(stale);
        CHECK(object->get_accChild(child, &found) == E_INVALIDARG);
        CHECK(found == nullptr);
        long left = 7, top = 7, width = 7, height = 7;
        CHECK(object->accLocation(&left, &top, &width, &height, child) == E_INVALIDARG);
        CHECK((left | top | width | height) == 0);
    }
    VariantClear(&wrong);
    object->Release();
}

TEST_CASE("an object held after its window is gone") {
    mainForm();
    IAccessible* window = nullptr;
    IAccessible* field = nullptr;
    {
        toolkit::Form dialog(toolkit::readLayout(dialogLayout), {});
        window = objectOf(windowOf(dialog));
        field = objectOf(windowOf(dialog.control("Numb")));
        LONG count = 0;
        CHECK(window->get_accChildCount(&count) == S_OK);
        CHECK(count == 2);
    }
    // The window's children went with it.
    LONG count = -1;
    CHECK(window->get_accChildCount(&count) == S_OK);
    CHECK(count == 0);
    IDispatch* child = nullptr;
    CHECK(window->get_accChild(childId(1), &child) == E_INVALIDARG);
    CHECK(child == nullptr);
    VARIANT end;
    VariantInit(&end);
    CHECK(window->accNavigate(NAVDIR_FIRSTCHILD, self, &end) == S_FALSE);
    CHECK(end.vt == VT_EMPTY);
    // The field takes nothing and presses nothing; what it reads is the standard object's for a
    // window that is gone, whatever that is, so long as it is answered.
    BSTR value = SysAllocString(L"5");
    CHECK(FAILED(field->put_accValue(self, value)));
    SysFreeString(value);
    CHECK(FAILED(field->accDoDefaultAction(self)));
    BSTR name = nullptr;
    field->get_accName(self, &name);
    SysFreeString(name);
    VARIANT state;
    VariantInit(&state);
    field->get_accState(self, &state);
    VariantClear(&state);
    long left = 0, top = 0, width = 0, height = 0;
    CHECK(FAILED(field->accLocation(&left, &top, &width, &height, self)));
    VARIANT hit;
    VariantInit(&hit);
    CHECK(field->accHitTest(30, 30, &hit) == S_FALSE);
    CHECK(hit.vt == VT_EMPTY);
    field->Release();
    window->Release();
}
