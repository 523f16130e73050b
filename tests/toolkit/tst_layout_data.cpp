// The declarations compiled in as data (the web build's layouts) are the declarations as the
// reader reads them: every field, and texts with quotes, back-slashes, control characters and
// letters beyond ASCII, come through the generated C++ unchanged.

#include "toolkit/layout.h"

#include <doctest/doctest.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

namespace {

// The generated code is the body of a function of `name`.
struct Layouts {
    static std::optional<toolkit::WindowDecl> compiled(std::string_view name) {
#include "layout_data.inc"
    }
};

toolkit::WindowDecl readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    REQUIRE_MESSAGE(in, "cannot open ", path);
    return toolkit::readLayout(std::string{std::istreambuf_iterator<char>(in), {}});
}

} // namespace

TEST_CASE("a layout compiled in as data is the declaration as read") {
    const struct {
        const char* name;
        std::string file;
    } rows[] = {
        {"Form1", DRILL_RESOURCES_DIR "/Form1.json"},
        {"Form2", DRILL_RESOURCES_DIR "/Form2.json"},
        {"Texts", DRILL_TEST_DIR "/layout_data_texts.json"},
    };
    for (const auto& row : rows) {
        CAPTURE(row.name);
        const std::optional<toolkit::WindowDecl> data = Layouts::compiled(row.name);
        REQUIRE(data);
        CHECK(*data == readFile(row.file));
    }
    CHECK_FALSE(Layouts::compiled("Form3"));
    CHECK_FALSE(Layouts::compiled("form1"));
}
