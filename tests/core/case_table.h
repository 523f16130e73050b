// Tables of cases for doctest: the test body runs once per row, each row as a subcase under the
// row's name, so a failing row names itself and the other rows still run (and one row can be run
// alone with --subcase="<name>").
#pragma once

#include <doctest/doctest.h>

#include <set>
#include <span>
#include <string>
#include <utility>

namespace test_support {

// Every row type has a `name`. Two rows of one name would be taken for the same subcase and the
// second would silently never run, so the names are checked first.
template <typename Row, typename Body> void forEachRow(std::span<const Row> rows, Body&& body) {
    std::set<std::string> names;
    for (const Row& row : rows) {
        if (!names.insert(std::string(row.name)).second) {
            FAIL("two rows are named \"", std::string(row.name), "\"");
        }
    }
    for (const Row& row : rows) {
        SUBCASE(std::string(row.name).c_str()) {
            body(row);
        }
    }
}

template <typename Row, std::size_t N, typename Body>
void forEachRow(const Row (&rows)[N], Body&& body) {
    forEachRow(std::span<const Row>(rows, N), std::forward<Body>(body));
}

} // namespace test_support
