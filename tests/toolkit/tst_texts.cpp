// The program's own texts: the application title made from the executable's path (directory
// dropped, either kind of slash; cut at the first full stop; first character kept and the rest
// lower-cased; at most 255 characters, never cutting a character in two), and the text of a
// failure's message box.

#include "toolkit/texts.h"
#include "toolkit/toolkit.h"

#include "case_table.h"

#include <doctest/doctest.h>

#include <string>

using test_support::forEachRow;

namespace {

std::string repeated(const std::string& piece, int times) {
    std::string result;
    for (int i = 0; i < times; ++i) {
        result += piece;
    }
    return result;
}

} // namespace

TEST_CASE("titleFromExecutable") {
    struct Row {
        const char* name;
        std::string path;
        std::string title;
    };
    const std::string boldA = "\xF0\x9D\x90\x80"; // U+1D400, beyond the basic plane
    const Row rows[] = {
        {"upper case with extension", "DRILL.EXE", "Drill"},
        {"cut at the first full stop", "my.drill.exe", "my"},
        {"Windows path", "C:\\Program Files\\Drill\\DRILL.EXE", "Drill"},
        {"both kinds of slash", "C:/Schule\\Mathe/DRILL.EXE", "Drill"},
        {"full stop in a Windows directory", "C:\\v1.2\\Drill.exe", "Drill"},
        // The first character is left as it is: an executable called "drill" gives "drill".
        {"installed program", "/usr/bin/drill", "drill"},
        {"capitalised program", "/usr/bin/Drill", "Drill"},
        {"full stop in a directory", "/opt/v1.2/DRILL", "Drill"},
        {"hidden file", ".hidden", ""},
        {"directory only", "/usr/bin/", ""},
        {"empty path", "", ""},
        {"Cyrillic", "/opt/ДРИЛЛ.bin", "Дрилл"},
        {"Cyrillic, first letter small", "C:\\Игры\\сЛОЖЕНИЕ.EXE", "сложение"},
        {"one character", "/bin/D", "D"},
        {"digits and signs untouched", "DRILL-2_B.EXE", "Drill-2_b"},
        {"300 characters", "/tmp/" + std::string(300, 'A'), "A" + std::string(254, 'a')},
        {"300 Cyrillic characters are cut by characters, not bytes", "/tmp/" + repeated("Д", 300),
         "Д" + repeated("д", 254)},
        {"300 characters beyond the basic plane", "/tmp/" + repeated(boldA, 300),
         repeated(boldA, 255)},
    };

    forEachRow(rows, [](const Row& row) {
        CAPTURE(row.path);
        CHECK(toolkit::titleFromExecutable(row.path) == row.title);
    });
}

TEST_CASE("failureText ends the message with a full stop when its last character sorts after it") {
    struct Row {
        const char* name;
        std::string_view message;
        std::string_view text;
    };
    static const Row rows[] = {
        {"rejected answer", "'12a' is not a valid integer value",
         "'12a' is not a valid integer value."},
        {"rejected empty answer", "'' is not a valid integer value",
         "'' is not a valid integer value."},
        {"digit", "error 42", "error 42."},
        {"slash, the character after the full stop", "a/", "a/."},
        {"Cyrillic letter", "\xD0\x9E\xD1\x88\xD0\xB8\xD0\xB1\xD0\xBA\xD0\xB0", // "Ошибка"
         "\xD0\x9E\xD1\x88\xD0\xB8\xD0\xB1\xD0\xBA\xD0\xB0."},
        {"full stop already", "Done.", "Done."},
        {"closing parenthesis", "(see above)", "(see above)"},
        {"exclamation mark", "Stop!", "Stop!"},
        {"hyphen, the character before the full stop", "a-", "a-"},
        {"quote", "'42 '", "'42 '"},
        {"trailing blank", "value ", "value "},
        {"empty", "", ""},
    };

    forEachRow(rows, [](const Row& row) { CHECK(toolkit::failureText(row.message) == row.text); });
}
