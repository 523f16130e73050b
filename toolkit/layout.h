#pragma once

// A window's layout as data: its caption, size, placement, font and controls, each control with
// its kind, name, position, size, text, font, tab order and, per event, the name of the handler
// that the window must have. The declarations are plain values free of any window system, so a
// backend only has to instantiate them. Reading a declaration checks its shape and values; it does
// not know which handlers a window has: that is checked when the window is created from it.

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace toolkit {

// A declaration that does not describe a valid window. Programming error: raised at creation.
class LayoutError : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    int right() const { return left + width; }
    int bottom() const { return top + height; }
    bool contains(const Rect& other) const;
    bool intersects(const Rect& other) const;
    friend bool operator==(const Rect&, const Rect&) = default;
};

enum class FontStyle { Plain, Italic };
enum class Charset { Default, Cyrillic };
enum class Colour { WindowText, Maroon };

// Character height is the height of the characters without the font's internal leading, in
// pixels at 96 dots per inch.
struct FontSpec {
    std::string face;
    int height = 0;
    FontStyle style = FontStyle::Plain;
    Colour colour = Colour::WindowText;
    Charset charset = Charset::Default;
    friend bool operator==(const FontSpec&, const FontSpec&) = default;
};

enum class ControlKind { Label, Edit, Button, OkButton, Panel };
enum class TabStop { Yes, No };

// Event name → handler name, e.g. "click" → "bbResClick".
using EventBindings = std::map<std::string, std::string, std::less<>>;

struct ControlDecl {
    ControlKind kind = ControlKind::Label;
    std::string name;
    Rect bounds;
    std::string text;
    std::optional<FontSpec> font; // none: the window font
    std::optional<int> tabOrder;  // labels have none
    TabStop tabStop = TabStop::No;
    EventBindings events;
    friend bool operator==(const ControlDecl&, const ControlDecl&) = default;
};

enum class Placement { DesktopCentred, Designed };

struct WindowDecl {
    std::string name;
    std::string className;
    std::string caption;
    int outerWidth = 0;
    int outerHeight = 0;
    Placement placement = Placement::DesktopCentred;
    int left = 0; // designed placement only
    int top = 0;
    FontSpec font;
    int designTextHeight = 0;
    EventBindings events; // "activate", "show"
    std::vector<ControlDecl> controls;

    const ControlDecl* control(std::string_view controlName) const;
    friend bool operator==(const WindowDecl&, const WindowDecl&) = default;
};

// Reads a declaration written as JSON. Raises LayoutError naming what is wrong: malformed text,
// an unknown kind, event, colour or key, a missing or ill-typed value, a duplicate control name.
WindowDecl readLayout(std::string_view json);

// Checks a declaration made in code by the rules that reading applies to one read from JSON:
// positive outer size, design text height and font heights, unique control names and tab
// orders, tab orders on exactly the focusable controls, known events and click events only on
// buttons. Raises LayoutError naming the window, the control and the fault.
void checkWindow(const WindowDecl& window);

// The events each declaration may bind.
inline constexpr std::string_view windowEvents[] = {"activate", "show"};
inline constexpr std::string_view controlEvents[] = {"click"};

std::string_view kindName(ControlKind kind);

} // namespace toolkit
