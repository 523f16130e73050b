#include "toolkit/layout.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <limits>
#include <set>

namespace toolkit {

bool Rect::contains(const Rect& other) const {
    return other.left >= left && other.top >= top && other.right() <= right() &&
           other.bottom() <= bottom();
}

bool Rect::intersects(const Rect& other) const {
    return other.left < right() && left < other.right() && other.top < bottom() &&
           top < other.bottom();
}

const ControlDecl* WindowDecl::control(std::string_view controlName) const {
    auto found = std::find_if(controls.begin(), controls.end(),
                              [&](const ControlDecl& c) { return c.name == controlName; });
    return found == controls.end() ? nullptr : &*found;
}

namespace {

constexpr std::array<std::pair<std::string_view, ControlKind>, 5> kinds{{
    {"label", ControlKind::Label},
    {"edit", ControlKind::Edit},
    {"button", ControlKind::Button},
    {"okButton", ControlKind::OkButton},
    {"panel", ControlKind::Panel},
}};

using Json = nlohmann::json;

// A JSON number that is a whole number within the range of int. (Casting a larger one to int
// would be undefined, so the range is checked on the double.)
bool isInteger(const Json& v) {
    if (v.is_number_integer()) {
        if (v.is_number_unsigned()) {
            return v.get<std::uint64_t>() <= std::uint64_t(std::numeric_limits<int>::max());
        }
        const std::int64_t i = v.get<std::int64_t>();
        return i >= std::numeric_limits<int>::min() && i <= std::numeric_limits<int>::max();
    }
    if (!v.is_number_float()) {
        return false;
    }
    const double d = v.get<double>();
    return d >= std::numeric_limits<int>::min() && d <= std::numeric_limits<int>::max() &&
           d == static_cast<double>(static_cast<int>(d));
}

int toInt(const Json& v) {
    return v.is_number_float() ? static_cast<int>(v.get<double>())
                               : static_cast<int>(v.get<std::int64_t>());
}

// Reads one JSON object, remembering which keys were used so that a misspelt key is reported
// instead of silently falling back to a default.
class Reader {
public:
    Reader(const Json& object, std::string where) : object_(object), where_(std::move(where)) {}

    [[noreturn]] void fail(const std::string& what) const {
        throw LayoutError(where_ + ": " + what);
    }

    bool has(const char* key) const { return object_.contains(key); }

    const Json& value(const char* key) {
        used_.insert(key);
        if (!has(key)) {
            fail(std::string("missing \"") + key + "\"");
        }
        return object_.at(key);
    }

    std::string text(const char* key) {
        const Json& v = value(key);
        if (!v.is_string()) {
            fail(std::string("\"") + key + "\" must be a text");
        }
        return v.get<std::string>();
    }

    int integer(const char* key) {
        const Json& v = value(key);
        if (!isInteger(v)) {
            fail(std::string("\"") + key + "\" must be a whole number");
        }
        return toInt(v);
    }

    bool flag(const char* key) {
        const Json& v = value(key);
        if (!v.is_boolean()) {
            fail(std::string("\"") + key + "\" must be true or false");
        }
        return v.get<bool>();
    }

    const Json& object(const char* key) {
        const Json& v = value(key);
        if (!v.is_object()) {
            fail(std::string("\"") + key + "\" must be an object");
        }
        return v;
    }

    const Json& array(const char* key) {
        const Json& v = value(key);
        if (!v.is_array()) {
            fail(std::string("\"") + key + "\" must be a list");
        }
        return v;
    }

    const std::string& where() const { return where_; }

    // Every key must have been read by now.
    void finish() const {
        for (auto it = object_.begin(); it != object_.end(); ++it) {
            const std::string& key = it.key();
            if (!used_.contains(key)) {
                fail("unknown key \"" + key + "\"");
            }
        }
    }

private:
    const Json& object_;
    std::string where_;
    std::set<std::string> used_;
};

FontSpec readFont(Reader& reader) {
    FontSpec font;
    font.face = reader.text("face");
    font.height = reader.integer("height");
    if (reader.has("italic")) {
        font.style = reader.flag("italic") ? FontStyle::Italic : FontStyle::Plain;
    }
    if (reader.has("colour")) {
        const std::string colour = reader.text("colour");
        if (colour == "windowText") {
            font.colour = Colour::WindowText;
        } else if (colour == "maroon") {
            font.colour = Colour::Maroon;
        } else {
            reader.fail("unknown colour \"" + colour + "\"");
        }
    }
    if (reader.has("charset")) {
        const std::string charset = reader.text("charset");
        if (charset == "default") {
            font.charset = Charset::Default;
        } else if (charset == "cyrillic") {
            font.charset = Charset::Cyrillic;
        } else {
            reader.fail("unknown character set \"" + charset + "\"");
        }
    }
    reader.finish();
    return font;
}

FontSpec readFont(Reader& owner, const char* key) {
    Reader reader(owner.object(key), owner.where() + "." + key);
    return readFont(reader);
}

EventBindings readEvents(Reader& owner) {
    EventBindings events;
    if (!owner.has("events")) {
        return events;
    }
    const Json& object = owner.object("events");
    for (auto it = object.begin(); it != object.end(); ++it) {
        const std::string& event = it.key();
        if (!it.value().is_string()) {
            owner.fail("event \"" + event + "\" must name a handler");
        }
        events.emplace(event, it.value().get<std::string>());
    }
    return events;
}

Rect readBounds(Reader& reader) {
    const Json& values = reader.array("bounds");
    if (values.size() != 4 || !std::all_of(values.begin(), values.end(), isInteger)) {
        reader.fail("\"bounds\" must be [left, top, width, height]");
    }
    return {toInt(values[0]), toInt(values[1]), toInt(values[2]), toInt(values[3])};
}

ControlDecl readControl(const Json& object, std::size_t index) {
    if (!object.is_object()) {
        throw LayoutError("control " + std::to_string(index) + " must be an object");
    }
    const auto name = object.find("name");
    const std::string label =
        name != object.end() && name->is_string() ? name->get<std::string>() : std::string();
    Reader reader(object,
                  label.empty() ? "control " + std::to_string(index) : "control \"" + label + "\"");
    ControlDecl control;
    control.name = reader.text("name");
    const std::string kind = reader.text("kind");
    auto found = std::find_if(kinds.begin(), kinds.end(), [&](auto& k) { return k.first == kind; });
    if (found == kinds.end()) {
        reader.fail("unknown kind \"" + kind + "\"");
    }
    control.kind = found->second;
    control.bounds = readBounds(reader);
    control.text = reader.text("text");
    if (reader.has("font")) {
        control.font = readFont(reader, "font");
    }
    if (reader.has("tabOrder")) {
        control.tabOrder = reader.integer("tabOrder");
    }
    // Edit fields and buttons are tab stops; a panel is not. A declaration may say so, and
    // checkWindow() refuses one that says otherwise.
    const bool tabStopByKind = control.kind == ControlKind::Edit ||
                               control.kind == ControlKind::Button ||
                               control.kind == ControlKind::OkButton;
    const bool tabStop = reader.has("tabStop") ? reader.flag("tabStop") : tabStopByKind;
    control.tabStop = tabStop ? TabStop::Yes : TabStop::No;
    control.events = readEvents(reader);
    reader.finish();
    return control;
}

} // namespace

std::string_view kindName(ControlKind kind) {
    for (const auto& [name, k] : kinds) {
        if (k == kind) {
            return name;
        }
    }
    return "?";
}

void checkWindow(const WindowDecl& window) {
    const std::string where = "window \"" + window.name + "\"";
    auto fail = [](const std::string& place, const std::string& what) {
        throw LayoutError(place + ": " + what);
    };
    auto checkFont = [&](const FontSpec& font, const std::string& place) {
        if (font.face.empty() || font.height <= 0) {
            fail(place, "a font needs a face and a positive height");
        }
    };
    auto checkEvents = [&](const EventBindings& events, const auto& allowed,
                           const std::string& place) {
        for (const auto& [event, handler] : events) {
            if (std::find(std::begin(allowed), std::end(allowed), event) == std::end(allowed)) {
                fail(place, "unknown event \"" + event + "\"");
            }
            if (handler.empty()) {
                fail(place, "event \"" + event + "\" must name a handler");
            }
        }
    };

    if (window.outerWidth <= 0 || window.outerHeight <= 0) {
        fail(where, "the outer size must be positive");
    }
    if (window.designTextHeight <= 0) {
        fail(where, "the design text height must be positive");
    }
    checkFont(window.font, where + " font");
    checkEvents(window.events, windowEvents, where);

    std::set<std::string> names;
    std::set<int> tabOrders;
    for (const ControlDecl& control : window.controls) {
        const std::string place = where + ", control \"" + control.name + "\"";
        if (control.name.empty()) {
            fail(place, "empty name");
        }
        if (!names.insert(control.name).second) {
            fail(where, "two controls are named \"" + control.name + "\"");
        }
        if (control.bounds.width < 0 || control.bounds.height < 0) {
            fail(place, "negative size");
        }
        if (control.font) {
            checkFont(*control.font, place + " font");
        }
        const bool focusable = control.kind != ControlKind::Label;
        if (focusable != control.tabOrder.has_value()) {
            fail(place, focusable ? "missing \"tabOrder\"" : "a label has no tab order");
        }
        if (control.tabOrder && !tabOrders.insert(*control.tabOrder).second) {
            fail(where, "tab order " + std::to_string(*control.tabOrder) + " is used twice");
        }
        const bool tabStopByKind = focusable && control.kind != ControlKind::Panel;
        if ((control.tabStop == TabStop::Yes) != tabStopByKind) {
            fail(place, "a " + std::string(kindName(control.kind)) + " cannot change its tab stop");
        }
        checkEvents(control.events, controlEvents, place);
        if (!control.events.empty() && control.kind != ControlKind::Button &&
            control.kind != ControlKind::OkButton) {
            fail(place, "only buttons have events");
        }
    }
}

WindowDecl readLayout(std::string_view json) {
    // A key given twice would silently take its last value; it is refused like a misspelt one.
    std::vector<std::set<std::string>> keysSeen;
    std::string duplicate;
    const auto checkKeys = [&](int, Json::parse_event_t event, Json& parsed) {
        switch (event) {
        case Json::parse_event_t::object_start:
            keysSeen.emplace_back();
            break;
        case Json::parse_event_t::object_end:
            keysSeen.pop_back();
            break;
        case Json::parse_event_t::key:
            if (!keysSeen.back().insert(parsed.get<std::string>()).second && duplicate.empty()) {
                duplicate = parsed.get<std::string>();
            }
            break;
        default:
            break;
        }
        return true;
    };
    Json document;
    try {
        document = Json::parse(json.begin(), json.end(), checkKeys);
    } catch (const Json::parse_error& error) {
        throw LayoutError("layout is not valid JSON at offset " + std::to_string(error.byte) +
                          ": " + error.what());
    }
    if (!duplicate.empty()) {
        throw LayoutError("layout gives the key \"" + duplicate + "\" twice");
    }
    if (!document.is_object()) {
        throw LayoutError("layout must be a JSON object");
    }
    Reader reader(document, "window");
    WindowDecl window;
    window.name = reader.text("name");
    window.className = reader.text("class");
    window.caption = reader.text("caption");
    {
        const Json& size = reader.array("outerSize");
        if (size.size() != 2 || !isInteger(size[0]) || !isInteger(size[1])) {
            reader.fail("\"outerSize\" must be [width, height]");
        }
        window.outerWidth = toInt(size[0]);
        window.outerHeight = toInt(size[1]);
    }
    const Json& placement = reader.value("placement");
    if (placement.is_string() && placement.get<std::string>() == "desktopCentred") {
        window.placement = Placement::DesktopCentred;
    } else if (placement.is_array() && placement.size() == 2 && isInteger(placement[0]) &&
               isInteger(placement[1])) {
        window.placement = Placement::Designed;
        window.left = toInt(placement[0]);
        window.top = toInt(placement[1]);
    } else {
        reader.fail("\"placement\" must be \"desktopCentred\" or [left, top]");
    }
    window.font = readFont(reader, "font");
    window.designTextHeight = reader.integer("designTextHeight");
    window.events = readEvents(reader);
    const Json& controls = reader.array("controls");
    for (std::size_t i = 0; i < controls.size(); ++i) {
        window.controls.push_back(readControl(controls[i], i));
    }
    reader.finish();
    // What the text says is checked by the same rules as a declaration made in code.
    checkWindow(window);
    return window;
}

} // namespace toolkit
