// What a Windows screen reader is told (Microsoft Active Accessibility). The window system's own
// objects (CreateStdAccessibleObject) answer for the windows and controls; where they fall short,
// a window answers WM_GETOBJECT with an object of the program's own that keeps the standard one
// for everything else:
// - the answer field is named by the label that stands before it on its line (the exercise),
//   takes a value only while it and its window take input, and tells a name change when the
//   exercise changes;
// - the OK image button, drawn by the program, is a push button, the window's default one, and
//   unavailable while disabled;
// - the buttons' default action is a click, refused while the button or its window takes no input
//   (a window under a message box or a modal window);
// - a window offers its controls in reading order (line by line from the top, left to right), and
//   an owned window (the result window) is a dialog whose description is its label lines.
//
// A screen reader in another process gets the object marshalled by COM (LresultFromObject): the
// window thread must be in a COM apartment for that, and the object's calls then come in through
// the message loop. COM and the accessibility library are loaded at the first request, so that a
// start without a screen reader loads neither of them.

#include "toolkit/win32/backend_win32.h"

#include <oleacc.h>

#include <algorithm>

namespace toolkit::detail::win32 {

namespace {

// Windows' COM, automation and accessibility libraries, loaded when first needed.
struct Libraries {
    HRESULT(WINAPI* coInitializeEx)(void*, DWORD) = nullptr;
    HRESULT(WINAPI* createStdAccessibleObject)(HWND, LONG, REFIID, void**) = nullptr;
    LRESULT(WINAPI* lresultFromObject)(REFIID, WPARAM, LPUNKNOWN) = nullptr;
    BSTR(WINAPI* sysAllocStringLen)(const OLECHAR*, UINT) = nullptr;
    bool ready = false;
};

template <typename Function> void load(HMODULE module, const char* name, Function& function) {
    if (module) {
        function =
            reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    }
}

const Libraries& libraries() {
    static const Libraries loaded = [] {
        Libraries l;
        load(LoadLibraryW(L"ole32.dll"), "CoInitializeEx", l.coInitializeEx);
        HMODULE oleacc = LoadLibraryW(L"oleacc.dll");
        load(oleacc, "CreateStdAccessibleObject", l.createStdAccessibleObject);
        load(oleacc, "LresultFromObject", l.lresultFromObject);
        load(LoadLibraryW(L"oleaut32.dll"), "SysAllocStringLen", l.sysAllocStringLen);
        l.ready = l.coInitializeEx && l.createStdAccessibleObject && l.lresultFromObject &&
                  l.sysAllocStringLen;
        if (l.ready) {
            // The window thread joins a single-threaded apartment: a reader's calls are then
            // delivered by the program's own message loop, one at a time, like any other event.
            // (A thread already in an apartment stays in it.)
            l.coInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        }
        return l;
    }();
    return loaded;
}

BSTR text(std::wstring_view value) {
    return libraries().sysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
}

bool isSelf(const VARIANT& child) {
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

// The control of a window, looked up at each call: the reader may hold the object longer than
// the window lives.
ControlWindow* controlAt(HWND window) {
    if (!hasBackend() || !IsWindow(window)) {
        return nullptr;
    }
    FormWindow* form = backend().formOf(GetAncestor(window, GA_ROOT));
    return form && !form->dying() ? form->controlOf(window) : nullptr;
}

FormWindow* formAt(HWND window) {
    if (!hasBackend() || !IsWindow(window)) {
        return nullptr;
    }
    FormWindow* form = backend().formOf(window);
    return form && !form->dying() ? form : nullptr;
}

// Whether a control takes input now: it is enabled, and so is its window (a window under a
// message box or a modal window is disabled).
bool takesInput(HWND control) {
    return IsWindowEnabled(control) && IsWindowEnabled(GetAncestor(control, GA_ROOT));
}

class Accessible final : public IAccessible {
public:
    // Takes over the standard object's reference.
    Accessible(HWND window, IAccessible* standard) : window_(window), standard_(standard) {}
    Accessible(const Accessible&) = delete;
    Accessible& operator=(const Accessible&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (!object) {
            return E_POINTER;
        }
        if (id == __uuidof(IUnknown) || id == __uuidof(IDispatch) || id == __uuidof(IAccessible)) {
            *object = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            standard_->Release();
            delete this;
        }
        return left;
    }

    // IDispatch: the standard object's.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        return standard_->GetTypeInfoCount(count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
        return standard_->GetTypeInfo(index, locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID id, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override {
        return standard_->GetIDsOfNames(id, names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID id, LCID locale, WORD flags,
                                     DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argument) override {
        return standard_->Invoke(member, id, locale, flags, parameters, result, exception,
                                 argument);
    }

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        return standard_->get_accParent(parent);
    }

    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
        if (!count) {
            return E_POINTER;
        }
        if (FormWindow* form = formAt(window_)) {
            *count = static_cast<LONG>(form->readingOrder().size());
            return S_OK;
        }
        return standard_->get_accChildCount(count);
    }

    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
        if (!object) {
            return E_POINTER;
        }
        *object = nullptr;
        FormWindow* form = formAt(window_);
        if (!form) {
            return standard_->get_accChild(child, object);
        }
        if (child.vt != VT_I4) {
            return E_INVALIDARG;
        }
        // The controls in reading order, counted from 1.
        const std::vector<ControlWindow*> order = form->readingOrder();
        if (child.lVal < 1 || child.lVal > static_cast<LONG>(order.size())) {
            return E_INVALIDARG;
        }
        IAccessible* control = create(order[static_cast<std::size_t>(child.lVal - 1)]->handle());
        if (!control) {
            return E_FAIL;
        }
        *object = control;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (!name) {
            return E_POINTER;
        }
        if (isSelf(child)) {
            if (ControlWindow* control = controlAt(window_)) {
                const std::wstring own = control->accessibleName();
                *name = text(own);
                return own.empty() ? S_FALSE : S_OK;
            }
        }
        return standard_->get_accName(child, name);
    }

    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        if (!value) {
            return E_POINTER;
        }
        ControlWindow* control = controlAt(window_);
        if (isSelf(child) && control && control->kind() == ControlKind::Edit) {
            *value = text(windowText(window_));
            return S_OK;
        }
        return standard_->get_accValue(child, value);
    }

    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
        if (!description) {
            return E_POINTER;
        }
        FormWindow* form = formAt(window_);
        if (isSelf(child) && form && form->isDialog()) {
            *description = text(form->labelLines());
            return S_OK;
        }
        return standard_->get_accDescription(child, description);
    }

    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (!role) {
            return E_POINTER;
        }
        if (isSelf(child)) {
            if (const LONG own = roleOf(); own != 0) {
                role->vt = VT_I4;
                role->lVal = own;
                return S_OK;
            }
        }
        return standard_->get_accRole(child, role);
    }

    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        if (!state) {
            return E_POINTER;
        }
        ControlWindow* control = controlAt(window_);
        if (!isSelf(child) || !control) {
            return standard_->get_accState(child, state);
        }
        LONG flags = 0;
        const bool focusable = control->kind() != ControlKind::Label;
        if (!IsWindowEnabled(window_)) {
            flags |= STATE_SYSTEM_UNAVAILABLE;
        } else if (focusable) {
            flags |= STATE_SYSTEM_FOCUSABLE;
        }
        if (GetFocus() == window_) {
            flags |= STATE_SYSTEM_FOCUSED;
        }
        if (!IsWindowVisible(window_)) {
            flags |= STATE_SYSTEM_INVISIBLE;
        }
        if (control->kind() == ControlKind::Label) {
            flags |= STATE_SYSTEM_READONLY;
        }
        if (control->isDefaultButton()) {
            flags |= STATE_SYSTEM_DEFAULT;
        }
        state->vt = VT_I4;
        state->lVal = flags;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
        return standard_->get_accHelp(child, help);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
        return standard_->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
        return standard_->get_accKeyboardShortcut(child, shortcut);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override {
        return standard_->get_accFocus(child);
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
        return standard_->get_accSelection(children);
    }

    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        if (!action) {
            return E_POINTER;
        }
        ControlWindow* control = controlAt(window_);
        if (isSelf(child) && control && control->control().isButton()) {
            *action = text(L"Press");
            return S_OK;
        }
        return standard_->get_accDefaultAction(child, action);
    }

    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
        return standard_->accSelect(flags, child);
    }

    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                          VARIANT child) override {
        if (!isSelf(child) || !left || !top || !width || !height) {
            return standard_->accLocation(left, top, width, height, child);
        }
        RECT r{};
        if (!GetWindowRect(window_, &r)) {
            return E_FAIL;
        }
        *left = r.left;
        *top = r.top;
        *width = r.right - r.left;
        *height = r.bottom - r.top;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
        return standard_->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override {
        return standard_->accHitTest(x, y, child);
    }

    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        ControlWindow* control = controlAt(window_);
        if (!isSelf(child) || !control) {
            return standard_->accDoDefaultAction(child);
        }
        if (!control->control().isButton()) {
            return DISP_E_MEMBERNOTFOUND;
        }
        // Neither a disabled button nor one in a window under a message box or a modal window
        // is pressed: the keyboard and the mouse cannot press it either.
        if (!takesInput(window_) || !IsWindowVisible(window_)) {
            return E_ACCESSDENIED;
        }
        // Posted, as a click comes: the reader's call returns before the handler runs (which may
        // open a message box or the result window).
        return PostMessageW(window_, BM_CLICK, 0, 0) ? S_OK : E_FAIL;
    }

    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override {
        return standard_->put_accName(child, name);
    }

    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
        ControlWindow* control = controlAt(window_);
        if (!isSelf(child) || !control) {
            return standard_->put_accValue(child, value);
        }
        if (control->kind() != ControlKind::Edit) {
            return DISP_E_MEMBERNOTFOUND;
        }
        // A disabled field, or one in a window that takes no input, takes no edits.
        if (!takesInput(window_)) {
            return E_ACCESSDENIED;
        }
        SetWindowTextW(window_, value ? value : L"");
        return S_OK;
    }

    // An object for a window of the program, or nullptr when the libraries are missing.
    static IAccessible* create(HWND window) {
        const Libraries& l = libraries();
        if (!l.ready) {
            return nullptr;
        }
        IAccessible* standard = nullptr;
        if (FAILED(l.createStdAccessibleObject(window, OBJID_CLIENT, __uuidof(IAccessible),
                                               reinterpret_cast<void**>(&standard))) ||
            !standard) {
            return nullptr;
        }
        return new Accessible(window, standard);
    }

private:
    ~Accessible() = default;

    LONG roleOf() const {
        if (FormWindow* form = formAt(window_)) {
            return form->isDialog() ? ROLE_SYSTEM_DIALOG : 0;
        }
        ControlWindow* control = controlAt(window_);
        if (!control) {
            return 0;
        }
        switch (control->kind()) {
        case ControlKind::Label:
            return ROLE_SYSTEM_STATICTEXT;
        case ControlKind::Edit:
            return ROLE_SYSTEM_TEXT;
        case ControlKind::Button:
        case ControlKind::OkButton:
            return ROLE_SYSTEM_PUSHBUTTON;
        case ControlKind::Panel:
            return ROLE_SYSTEM_PANE;
        }
        return 0;
    }

    HWND window_;
    IAccessible* standard_;
    ULONG references_ = 1;
};

} // namespace

LRESULT answerGetObject(HWND window, WPARAM wParam, LPARAM lParam) {
    // The object id arrives as a 32-bit value: OBJID_CLIENT (-4) is 0xFFFFFFFC in a 64-bit LPARAM
    // from some callers and sign-extended from others.
    if (static_cast<LONG>(static_cast<DWORD>(lParam)) != OBJID_CLIENT) {
        return 0;
    }
    IAccessible* object = Accessible::create(window);
    if (!object) {
        return 0; // the standard object answers
    }
    const LRESULT result = libraries().lresultFromObject(__uuidof(IAccessible), wParam, object);
    object->Release(); // the marshalled reference keeps it
    // Where it could not be marshalled, the standard object is better than none.
    return static_cast<HRESULT>(result) < 0 ? 0 : result;
}

} // namespace toolkit::detail::win32
