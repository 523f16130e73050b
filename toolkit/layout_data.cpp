// Writes window declarations as C++ data, for a build that compiles its layouts into the program
// instead of reading them when it starts. Each declaration is read and checked by readLayout(),
// the reader the other builds run at start-up, so a faulty one fails the build with the reader's
// message. The output is the body of a function of a std::string_view `name` that returns
// std::optional<toolkit::WindowDecl>: the declaration of that name, or none.
//
// usage: layout_data OUTPUT NAME=FILE...

#include "toolkit/layout.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

namespace {

using namespace toolkit;

// A C++ string literal of the UTF-8 bytes: printable ASCII as it is, everything else as a
// three-digit octal escape, which no following character can extend.
std::string literal(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\' || c == '?') { // '?' would start a trigraph in older dialects
            out += '\\';
            out += c;
        } else if (byte >= 0x20 && byte < 0x7F) {
            out += c;
        } else {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\%03o", byte);
            out += escape;
        }
    }
    return out + "\"";
}

std::string font(const FontSpec& f) {
    return "toolkit::FontSpec{" + literal(f.face) + ", " + std::to_string(f.height) + ", " +
           (f.style == FontStyle::Italic ? "toolkit::FontStyle::Italic"
                                         : "toolkit::FontStyle::Plain") +
           ", " +
           (f.colour == Colour::Maroon ? "toolkit::Colour::Maroon"
                                       : "toolkit::Colour::WindowText") +
           ", " +
           (f.charset == Charset::Cyrillic ? "toolkit::Charset::Cyrillic"
                                           : "toolkit::Charset::Default") +
           "}";
}

std::string events(const EventBindings& bindings) {
    std::string out = "{";
    for (const auto& [event, handler] : bindings) {
        out += "{" + literal(event) + ", " + literal(handler) + "}, ";
    }
    return out + "}";
}

std::string kind(ControlKind k) {
    switch (k) {
    case ControlKind::Label:
        return "toolkit::ControlKind::Label";
    case ControlKind::Edit:
        return "toolkit::ControlKind::Edit";
    case ControlKind::Button:
        return "toolkit::ControlKind::Button";
    case ControlKind::OkButton:
        return "toolkit::ControlKind::OkButton";
    case ControlKind::Panel:
        return "toolkit::ControlKind::Panel";
    }
    throw LayoutError("unknown control kind");
}

std::string control(const ControlDecl& c) {
    const Rect& b = c.bounds;
    return "toolkit::ControlDecl{" + kind(c.kind) + ", " + literal(c.name) + ", toolkit::Rect{" +
           std::to_string(b.left) + ", " + std::to_string(b.top) + ", " + std::to_string(b.width) +
           ", " + std::to_string(b.height) + "}, " + literal(c.text) + ", " +
           (c.font ? font(*c.font) : "std::nullopt") + ", " +
           (c.tabOrder ? std::to_string(*c.tabOrder) : "std::nullopt") + ", " +
           (c.tabStop == TabStop::Yes ? "toolkit::TabStop::Yes" : "toolkit::TabStop::No") + ", " +
           events(c.events) + "}";
}

std::string window(const WindowDecl& w) {
    std::string out = "if (name == " + literal(w.name) + ") {\n    return toolkit::WindowDecl{\n";
    out += "        " + literal(w.name) + ",\n";
    out += "        " + literal(w.className) + ",\n";
    out += "        " + literal(w.caption) + ",\n";
    out += "        " + std::to_string(w.outerWidth) + ", " + std::to_string(w.outerHeight) + ",\n";
    out += std::string("        ") +
           (w.placement == Placement::Designed ? "toolkit::Placement::Designed"
                                               : "toolkit::Placement::DesktopCentred") +
           ", " + std::to_string(w.left) + ", " + std::to_string(w.top) + ",\n";
    out += "        " + font(w.font) + ",\n";
    out += "        " + std::to_string(w.designTextHeight) + ",\n";
    out += "        " + events(w.events) + ",\n";
    out += "        {\n";
    for (const ControlDecl& c : w.controls) {
        out += "            " + control(c) + ",\n";
    }
    out += "        }};\n}\n";
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: layout_data OUTPUT NAME=FILE...\n";
        return 2;
    }
    std::string code = "// Made from the window declarations when the program was built.\n";
    for (int i = 2; i < argc; ++i) {
        const std::string argument = argv[i];
        const auto equals = argument.find('=');
        if (equals == std::string::npos) {
            std::cerr << "layout_data: expected NAME=FILE, got " << argument << "\n";
            return 2;
        }
        const std::string name = argument.substr(0, equals);
        const std::string path = argument.substr(equals + 1);
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            std::cerr << "layout_data: cannot read " << path << "\n";
            return 1;
        }
        const std::string json{std::istreambuf_iterator<char>(in), {}};
        try {
            const WindowDecl declaration = readLayout(json);
            if (declaration.name != name) {
                throw LayoutError("the window is named \"" + declaration.name + "\", not \"" +
                                  name + "\"");
            }
            code += window(declaration);
        } catch (const LayoutError& error) {
            std::cerr << path << ": " << error.what() << "\n";
            return 1;
        }
    }
    code += "return std::nullopt;\n";
    std::ofstream out(argv[1], std::ios::binary);
    out << code;
    out.close();
    if (!out) {
        std::cerr << "layout_data: cannot write " << argv[1] << "\n";
        return 1;
    }
    return 0;
}
