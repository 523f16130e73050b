// Which face a declared font is drawn with, asked of the font system of the prefix the tests run
// in (Wine's own faces copied in, Debian's through fontconfig): a face counts only where the font
// system gives that very face, in the character set the font asks for, at the asked height.

#include "toolkit/win32/backend_win32.h"

#include "case_table.h"

#include <doctest/doctest.h>

#include <string>
#include <vector>

using test_support::forEachRow;
using toolkit::Charset;
using toolkit::FontSpec;
using toolkit::detail::win32::FontBook;
using toolkit::detail::win32::narrow;

TEST_CASE("a declared face or its stand-in") {
    struct Row {
        const char* name;
        FontSpec font;
        std::vector<std::string> standIns;
        std::string drawnWith;
    };
    const Row rows[] = {
        {"an installed scalable face", {"Tahoma", 27, {}, {}, Charset::Cyrillic}, {}, "Tahoma"},
        {"a missing face takes its first installed stand-in",
         {"No Such Face", 20, {}, {}, Charset::Cyrillic},
         {"Nor This One", "Tahoma"},
         "Tahoma"},
        // Marlett draws symbols only: where Cyrillic letters are asked for it is missing, although
        // the font system knows it by that name.
        {"a face without Cyrillic letters is missing for a Cyrillic font",
         {"Marlett", 20, {}, {}, Charset::Cyrillic},
         {"Marlett", "Tahoma"},
         "Tahoma"},
        {"the same face is installed for a font of any character set",
         {"Marlett", 20, {}, {}, Charset::Default},
         {},
         "Marlett"},
        {"names are compared without regard to case",
         {"TAHOMA", 20, {}, {}, Charset::Cyrillic},
         {},
         "TAHOMA"},
    };
    forEachRow<Row>(rows, [](const Row& row) {
        FontBook fonts;
        fonts.substitute(row.font.face, row.standIns);
        CHECK(narrow(fonts.faceFor(row.font)) == row.drawnWith);
    });
}

TEST_CASE("a scalable face is installed at every height") {
    FontBook fonts;
    for (int height = 6; height <= 60; ++height) {
        CAPTURE(height);
        CHECK(narrow(fonts.faceFor({"Tahoma", height, {}, {}, Charset::Cyrillic})) == "Tahoma");
    }
}
