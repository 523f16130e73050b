#include "drill/number_text.h"

#include <QByteArray>
#include <QTest>

#include <cstdint>
#include <limits>
#include <string_view>

using drill::EConvertError;
using drill::formatInteger;
using drill::parseInteger;

namespace {

std::string_view view(const QByteArray& bytes) {
    return std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QByteArray bytes(const std::string& text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

class NumberTextTest : public QObject {
    Q_OBJECT

private slots:
    void acceptedTexts_data();
    void acceptedTexts();
    void rejectedTexts_data();
    void rejectedTexts();
    void rejectionMessage_data();
    void rejectionMessage();
    void formatting_data();
    void formatting();
};

void NumberTextTest::acceptedTexts_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("expected");

    QTest::newRow("plain") << QByteArray("42") << 42;
    QTest::newRow("leading blanks") << QByteArray("   42") << 42;
    QTest::newRow("plus sign") << QByteArray("+7") << 7;
    QTest::newRow("minus sign") << QByteArray("-7") << -7;
    QTest::newRow("blanks before sign") << QByteArray("  -7") << -7;
    QTest::newRow("minus zero") << QByteArray("-0") << 0;
    QTest::newRow("zero") << QByteArray("0") << 0;
    QTest::newRow("blanks then zero") << QByteArray("  0") << 0;
    QTest::newRow("leading zeros are decimal") << QByteArray("007") << 7;
    QTest::newRow("zero then digits") << QByteArray("010") << 10;
    QTest::newRow("negative with leading zeros") << QByteArray("-0042") << -42;
    QTest::newRow("many leading zeros before maximum")
        << QByteArray("0000000000002147483647") << 2147483647;

    QTest::newRow("largest decimal") << QByteArray("2147483647") << 2147483647;
    QTest::newRow("smallest decimal") << QByteArray("-2147483648") << -2147483647 - 1;
    QTest::newRow("largest with plus") << QByteArray("+2147483647") << 2147483647;
    QTest::newRow("ten digits below limit") << QByteArray("2147483640") << 2147483640;
    QTest::newRow("nine digits at limit") << QByteArray("214748364") << 214748364;

    QTest::newRow("dollar hex") << QByteArray("$2A") << 42;
    QTest::newRow("x hex lower digits") << QByteArray("x2a") << 42;
    QTest::newRow("X hex") << QByteArray("X2A") << 42;
    QTest::newRow("0x hex") << QByteArray("0x2A") << 42;
    QTest::newRow("0X hex") << QByteArray("0X2A") << 42;
    QTest::newRow("hex all digit letters") << QByteArray("$ABCDEF") << 0xABCDEF;
    QTest::newRow("hex lower letters") << QByteArray("$abcdef") << 0xABCDEF;
    QTest::newRow("minus before hex") << QByteArray("-$2A") << -42;
    QTest::newRow("plus before hex") << QByteArray("+0x2A") << 42;
    QTest::newRow("blanks before hex") << QByteArray("  $2A") << 42;
    QTest::newRow("hex zero") << QByteArray("$0") << 0;
    QTest::newRow("hex seven digits of F") << QByteArray("$FFFFFFF") << 0x0FFFFFFF;
    QTest::newRow("hex all ones is minus one") << QByteArray("$FFFFFFFF") << -1;
    QTest::newRow("hex sign bit") << QByteArray("$80000000") << -2147483647 - 1;
    QTest::newRow("hex largest positive") << QByteArray("$7FFFFFFF") << 2147483647;
    QTest::newRow("negated hex sign bit") << QByteArray("-$80000000") << -2147483647 - 1;
    QTest::newRow("negated hex all ones") << QByteArray("-$FFFFFFFF") << 1;
    QTest::newRow("hex leading zeros beyond eight digits") << QByteArray("$000000002A") << 42;
    QTest::newRow("hex 10000000") << QByteArray("$10000000") << 0x10000000;
}

void NumberTextTest::acceptedTexts() {
    QFETCH(QByteArray, text);
    QFETCH(int, expected);

    try {
        QCOMPARE(parseInteger(view(text)), static_cast<std::int32_t>(expected));
    } catch (const EConvertError& error) {
        QFAIL(("rejected: " + error.message()).c_str());
    }
}

void NumberTextTest::rejectedTexts_data() {
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("empty") << QByteArray("");
    QTest::newRow("only blanks") << QByteArray("   ");
    QTest::newRow("trailing blank") << QByteArray("42 ");
    QTest::newRow("blank inside") << QByteArray("4 2");
    QTest::newRow("only minus") << QByteArray("-");
    QTest::newRow("only plus") << QByteArray("+");
    QTest::newRow("blank after sign") << QByteArray("- 7");
    QTest::newRow("two signs") << QByteArray("--7");
    QTest::newRow("plus minus") << QByteArray("+-7");
    QTest::newRow("sign after digits") << QByteArray("7-");
    QTest::newRow("leading tab") << QByteArray("\t42");
    QTest::newRow("trailing newline") << QByteArray("42\n");
    QTest::newRow("decimal point") << QByteArray("4.0");
    QTest::newRow("decimal comma") << QByteArray("4,0");
    QTest::newRow("thousands separator") << QByteArray("1,000");
    QTest::newRow("letter") << QByteArray("a");
    QTest::newRow("hex letter in decimal") << QByteArray("2A");
    QTest::newRow("exponent") << QByteArray("1e3");
    QTest::newRow("embedded NUL") << QByteArray("4\0"
                                                "2",
                                                3);

    QTest::newRow("decimal one above maximum") << QByteArray("2147483648");
    QTest::newRow("decimal one below minimum") << QByteArray("-2147483649");
    QTest::newRow("digit taken after 214748365") << QByteArray("2147483650");
    QTest::newRow("eleven digits") << QByteArray("21474836470");
    QTest::newRow("huge") << QByteArray("99999999999999999999");

    QTest::newRow("dollar alone") << QByteArray("$");
    QTest::newRow("0x alone") << QByteArray("0x");
    QTest::newRow("x alone") << QByteArray("x");
    QTest::newRow("minus dollar alone") << QByteArray("-$");
    QTest::newRow("nine significant hex digits") << QByteArray("$100000000");
    QTest::newRow("nine hex F") << QByteArray("$FFFFFFFFF");
    QTest::newRow("non-hex letter") << QByteArray("$2G");
    QTest::newRow("two hex prefixes") << QByteArray("$0x2A");
    QTest::newRow("sign after hex prefix") << QByteArray("$-2A");
    QTest::newRow("blank after hex prefix") << QByteArray("$ 2A");
    QTest::newRow("zero dollar") << QByteArray("0$2A");
    QTest::newRow("hex with trailing blank") << QByteArray("$2A ");

    QTest::newRow("fullwidth digits") << QByteArray("\xEF\xBC\x94\xEF\xBC\x92"); // "４２"
    QTest::newRow("euro after digits") << QByteArray("42\xE2\x82\xAC");          // "42€"
    QTest::newRow("no-break space before digits") << QByteArray("\xC2\xA0"
                                                                "42");
    QTest::newRow("lone high byte") << QByteArray("\xFF");
}

void NumberTextTest::rejectedTexts() {
    QFETCH(QByteArray, text);

    try {
        const std::int32_t value = parseInteger(view(text));
        QFAIL(("accepted as " + formatInteger(value)).c_str());
    } catch (const EConvertError& error) {
        const QByteArray expected = "'" + text + "' is not a valid integer value";
        QCOMPARE(bytes(error.message()), expected);
        // what() is a C string; it carries the same message up to any NUL byte in the text.
        QCOMPARE(QByteArray(error.what()), QByteArray(expected.constData()));
    }
}

void NumberTextTest::rejectionMessage_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("message");

    QTest::newRow("empty") << QByteArray("") << QByteArray("'' is not a valid integer value");
    QTest::newRow("trailing blank kept")
        << QByteArray("42 ") << QByteArray("'42 ' is not a valid integer value");
    QTest::newRow("leading blanks kept")
        << QByteArray("  4.0") << QByteArray("'  4.0' is not a valid integer value");
    QTest::newRow("format directives are literal")
        << QByteArray("%s%n%d%%") << QByteArray("'%s%n%d%%' is not a valid integer value");
    QTest::newRow("quotes and braces are literal")
        << QByteArray("'{0}'") << QByteArray("''{0}'' is not a valid integer value");
    QTest::newRow("UTF-8 bytes kept")
        << QByteArray("42\xE2\x82\xAC")
        << QByteArray("'42\xE2\x82\xAC' is not a valid integer value");
}

void NumberTextTest::rejectionMessage() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, message);

    try {
        parseInteger(view(text));
        QFAIL("accepted");
    } catch (const EConvertError& error) {
        QCOMPARE(QByteArray(error.what()), message);
        QCOMPARE(bytes(error.message()), message);
    }
}

void NumberTextTest::formatting_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("zero") << 0 << QByteArray("0");
    QTest::newRow("one digit") << 7 << QByteArray("7");
    QTest::newRow("round number") << 1000 << QByteArray("1000");
    QTest::newRow("no separators") << 1234567 << QByteArray("1234567");
    QTest::newRow("negative") << -42 << QByteArray("-42");
    QTest::newRow("largest") << std::numeric_limits<std::int32_t>::max()
                             << QByteArray("2147483647");
    QTest::newRow("smallest") << std::numeric_limits<std::int32_t>::min()
                              << QByteArray("-2147483648");
}

void NumberTextTest::formatting() {
    QFETCH(int, value);
    QFETCH(QByteArray, text);

    QCOMPARE(bytes(formatInteger(value)), text);
    QCOMPARE(parseInteger(view(text)), static_cast<std::int32_t>(value));
}

QTEST_APPLESS_MAIN(NumberTextTest)
#include "tst_number_text.moc"
