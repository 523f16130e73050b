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
// Whatever a reader passes is checked before anything is answered or handed on: a child id is a
// VT_I4 that is CHILDID_SELF or counts a control in reading order (1..the child count), anything
// else is E_INVALIDARG; so are selection flags and navigation directions that are none; a missing
// place for a result is E_POINTER, and results are cleared before any answer. A point off the
// object is no hit (S_FALSE). The standard object is handed only arguments that passed, so what it
// makes of odd ones never matters.
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

// An empty VARIANT (VT_EMPTY), as VariantInit makes it, without loading the automation library.
void clear(VARIANT* value) {
    *value = VARIANT{};
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

    // IAccessible. A call about a child is answered by the child's own object (a window's
    // children are its controls, each with an object of its own and its own checks); only calls
    // about the object itself reach the standard object.
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        if (!parent) {
            return E_POINTER;
        }
        *parent = nullptr;
        return standard_->get_accParent(parent);
    }

    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
        if (!count) {
            return E_POINTER;
        }
        *count = childCount();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
        if (!object) {
            return E_POINTER;
        }
        *object = nullptr;
        // The object itself is no child of its own.
        if (!isChild(child) || isSelf(child)) {
            return E_INVALIDARG;
        }
        IAccessible* found = nullptr;
        const HRESULT result = childObject(child.lVal, &found);
        *object = found;
        return result;
    }

    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (!name) {
            return E_POINTER;
        }
        *name = nullptr;
        if (!isSelf(child)) {
            return ofChild(child, [&](IAccessible* c) { return c->get_accName(self(), name); });
        }
        if (ControlWindow* control = controlAt(window_)) {
            const std::wstring own = control->accessibleName();
            *name = text(own);
            return own.empty() ? S_FALSE : S_OK;
        }
        return standard_->get_accName(child, name);
    }

    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        if (!value) {
            return E_POINTER;
        }
        *value = nullptr;
        if (!isSelf(child)) {
            return ofChild(child, [&](IAccessible* c) { return c->get_accValue(self(), value); });
        }
        ControlWindow* control = controlAt(window_);
        if (control && control->kind() == ControlKind::Edit) {
            *value = text(windowText(window_));
            return S_OK;
        }
        return standard_->get_accValue(child, value);
    }

    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
        if (!description) {
            return E_POINTER;
        }
        *description = nullptr;
        if (!isSelf(child)) {
            return ofChild(
                child, [&](IAccessible* c) { return c->get_accDescription(self(), description); });
        }
        FormWindow* form = formAt(window_);
        if (form && form->isDialog()) {
            *description = text(form->labelLines());
            return S_OK;
        }
        return standard_->get_accDescription(child, description);
    }

    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (!role) {
            return E_POINTER;
        }
        clear(role);
        if (!isSelf(child)) {
            return ofChild(child, [&](IAccessible* c) { return c->get_accRole(self(), role); });
        }
        if (const LONG own = roleOf(); own != 0) {
            role->vt = VT_I4;
            role->lVal = own;
            return S_OK;
        }
        return standard_->get_accRole(child, role);
    }

    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        if (!state) {
            return E_POINTER;
        }
        clear(state);
        if (!isSelf(child)) {
            return ofChild(child, [&](IAccessible* c) { return c->get_accState(self(), state); });
        }
        ControlWindow* control = controlAt(window_);
        if (!control) {
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
        if (!help) {
            return E_POINTER;
        }
        *help = nullptr;
        if (!isSelf(child)) {
            return ofChild(child, [&](IAccessible* c) { return c->get_accHelp(self(), help); });
        }
        return standard_->get_accHelp(child, help);
    }

    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
        if (!file || !topic) {
            return E_POINTER;
        }
        *file = nullptr;
        *topic = 0;
        if (!isSelf(child)) {
            return ofChild(
                child, [&](IAccessible* c) { return c->get_accHelpTopic(file, self(), topic); });
        }
        return standard_->get_accHelpTopic(file, child, topic);
    }

    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
        if (!shortcut) {
            return E_POINTER;
        }
        *shortcut = nullptr;
        if (!isSelf(child)) {
            return ofChild(child, [&](IAccessible* c) {
                return c->get_accKeyboardShortcut(self(), shortcut);
            });
        }
        return standard_->get_accKeyboardShortcut(child, shortcut);
    }

    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override {
        if (!child) {
            return E_POINTER;
        }
        clear(child);
        const HRESULT result = standard_->get_accFocus(child);
        // The focus elsewhere is "nothing here" (S_FALSE), not an answer.
        return result == S_OK && child->vt == VT_EMPTY ? S_FALSE : result;
    }

    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
        if (!children) {
            return E_POINTER;
        }
        clear(children);
        return standard_->get_accSelection(children);
    }

    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        if (!action) {
            return E_POINTER;
        }
        *action = nullptr;
        if (!isSelf(child)) {
            return ofChild(child,
                           [&](IAccessible* c) { return c->get_accDefaultAction(self(), action); });
        }
        ControlWindow* control = controlAt(window_);
        if (control && control->control().isButton()) {
            *action = text(L"Press");
            return S_OK;
        }
        return standard_->get_accDefaultAction(child, action);
    }

    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
        // Flags beyond the defined ones, or a selection both taken and added to or removed from,
        // ask for nothing that can be done.
        const bool contradictory =
            ((flags & SELFLAG_TAKESELECTION) != 0 &&
             (flags & (SELFLAG_ADDSELECTION | SELFLAG_REMOVESELECTION)) != 0) ||
            ((flags & SELFLAG_ADDSELECTION) != 0 && (flags & SELFLAG_REMOVESELECTION) != 0);
        if ((flags & ~static_cast<long>(SELFLAG_VALID)) != 0 || contradictory) {
            return E_INVALIDARG;
        }
        if (!isSelf(child)) {
            return ofChild(child, [&](IAccessible* c) { return c->accSelect(flags, self()); });
        }
        return standard_->accSelect(flags, child);
    }

    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                          VARIANT child) override {
        if (!left || !top || !width || !height) {
            return E_POINTER;
        }
        *left = *top = *width = *height = 0;
        if (!isSelf(child)) {
            return ofChild(child, [&](IAccessible* c) {
                return c->accLocation(left, top, width, height, self());
            });
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
        if (!end) {
            return E_POINTER;
        }
        clear(end);
        if (direction <= NAVDIR_MIN || direction >= NAVDIR_MAX || !isChild(start)) {
            return E_INVALIDARG;
        }
        const bool intoChildren = direction == NAVDIR_FIRSTCHILD || direction == NAVDIR_LASTCHILD;
        if (isSelf(start) && !intoChildren) {
            return standard_->accNavigate(direction, start, end);
        }
        // Only the object itself has a first and a last child, not a child of it.
        if (intoChildren && !isSelf(start)) {
            return E_INVALIDARG;
        }
        // Among a window's controls, next and previous follow the reading order, as the child
        // ids do; the other directions are the child's own object's to answer.
        const LONG count = childCount();
        LONG to = 0;
        if (intoChildren) {
            to = direction == NAVDIR_FIRSTCHILD ? 1 : count;
        } else if (direction == NAVDIR_NEXT || direction == NAVDIR_PREVIOUS) {
            to = start.lVal + (direction == NAVDIR_NEXT ? 1 : -1);
        } else {
            return ofChild(start,
                           [&](IAccessible* c) { return c->accNavigate(direction, self(), end); });
        }
        if (to < 1 || to > count) {
            return S_FALSE; // nothing there
        }
        IAccessible* object = nullptr;
        const HRESULT result = childObject(to, &object);
        if (FAILED(result)) {
            return result;
        }
        end->vt = VT_DISPATCH;
        end->pdispVal = object;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override {
        if (!child) {
            return E_POINTER;
        }
        clear(child);
        // A point off the object, or on an object that is not shown, hits nothing in it.
        RECT r{};
        if (!IsWindowVisible(window_) || !GetWindowRect(window_, &r) ||
            !PtInRect(&r, POINT{x, y})) {
            return S_FALSE;
        }
        return standard_->accHitTest(x, y, child);
    }

    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        if (!isSelf(child)) {
            return ofChild(child, [&](IAccessible* c) { return c->accDoDefaultAction(self()); });
        }
        ControlWindow* control = controlAt(window_);
        if (!control) {
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
        if (!isSelf(child)) {
            return ofChild(child, [&](IAccessible* c) { return c->put_accName(self(), name); });
        }
        return standard_->put_accName(child, name);
    }

    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
        if (!isSelf(child)) {
            return ofChild(child, [&](IAccessible* c) { return c->put_accValue(self(), value); });
        }
        ControlWindow* control = controlAt(window_);
        if (!control) {
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

    // A window's controls in reading order; a control has none of its own.
    LONG childCount() const {
        FormWindow* form = formAt(window_);
        return form ? static_cast<LONG>(form->readingOrder().size()) : 0;
    }

    // Whether a VARIANT names the object itself or one of its children: a VT_I4 that is
    // CHILDID_SELF or counts a child from 1.
    bool isChild(const VARIANT& child) const {
        return child.vt == VT_I4 &&
               (child.lVal == CHILDID_SELF || (child.lVal >= 1 && child.lVal <= childCount()));
    }

    // The object of a window's control, by its child id.
    HRESULT childObject(LONG id, IAccessible** object) const {
        *object = nullptr;
        FormWindow* form = formAt(window_);
        if (!form) {
            return E_INVALIDARG;
        }
        const std::vector<ControlWindow*> order = form->readingOrder();
        if (id < 1 || id > static_cast<LONG>(order.size())) {
            return E_INVALIDARG;
        }
        *object = create(order[static_cast<std::size_t>(id - 1)]->handle());
        return *object ? S_OK : E_FAIL;
    }

    // A call about a child, made on the child's own object about itself; a VARIANT that names no
    // child is refused.
    template <typename Call> HRESULT ofChild(const VARIANT& child, Call call) const {
        if (!isChild(child) || isSelf(child)) {
            return E_INVALIDARG;
        }
        IAccessible* object = nullptr;
        if (const HRESULT found = childObject(child.lVal, &object); FAILED(found)) {
            return found;
        }
        const HRESULT result = call(object);
        object->Release();
        return result;
    }

    static VARIANT self() {
        VARIANT v{};
        v.vt = VT_I4;
        v.lVal = CHILDID_SELF;
        return v;
    }

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
