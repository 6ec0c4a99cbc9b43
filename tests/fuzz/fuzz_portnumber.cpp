// SPDX-License-Identifier: MIT
// The port boxes' number rules: the rewrite of a box is finite, ordinary
// decimal text, and rewriting it again changes nothing; toLong returns or
// throws LinkError and agrees with leadingNumber wherever both read the
// same characters.
//
// Input: the box's text, one character per byte (ASCII as itself, higher
// bytes as spaces and digits of other kinds, 0xF0 and up a run of up to 256
// of one character, so that long digit strings are in reach).

#include "fuzzcheck.h"
#include "linkerror.h"
#include "portnumber.h"

#include <QRegularExpression>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <iterator>

namespace {

constexpr qsizetype kLongestText = 20000;

QString textFrom(const uint8_t *data, size_t size)
{
    static const char16_t odd[] = {
        0x00A0, u'\r', u'\v', u'\f', 0x2028, 0x3000, 0xFF11, 0x0661,
        0xFEFF, 0x0085, 0x2029, 0x00B2, 0xFF0E, 0x2212, 0x00BD, 0x0000,
    };
    static const char16_t runOf[] = {
        u'9', u'F', u'7', u'0', u' ', u'E', u'1', u'.',
        u'f', u'\t', u'-', u'5', u'&', u'H', u'D', u'8',
    };
    return fuzz::typedText(data, size, odd, runOf, kLongestText);
}

// What numberText may write: "-" once at most, no leading zeros, no
// trailing fraction zeros or point, an exponent of two or three digits.
const QRegularExpression kOrdinary(QStringLiteral("^-?(0|[1-9][0-9]*)(\\.[0-9]*[1-9])?$"));
const QRegularExpression kExponent(QStringLiteral("^-?[1-9](\\.[0-9]*[1-9])?E[+-][0-9]{2,3}$"));

void checkNumberText(const QString &text, double value)
{
    FUZZ_CHECK(!text.contains(QStringLiteral("nan"), Qt::CaseInsensitive));
    FUZZ_CHECK(!text.contains(QStringLiteral("inf"), Qt::CaseInsensitive));
    const bool ordinary = kOrdinary.match(text).hasMatch();
    const bool exponent = kExponent.match(text).hasMatch();
    if (!ordinary && !exponent)
        fuzz::failEqual(__FILE__, __LINE__, "numberText wrote no number", text, QString());

    // At most 15 significant digits.
    QString mantissa = exponent ? text.left(text.indexOf(u'E')) : text;
    mantissa.remove(u'-');
    mantissa.remove(u'.');
    while (mantissa.startsWith(u'0') && mantissa.size() > 1)
        mantissa.remove(0, 1);
    FUZZ_CHECK(mantissa.size() <= 15);

    // The exponent form exactly when the decimal exponent is 15 or more, or
    // -5 or less (counted from the value written, which rounding may have
    // carried up to the next power of ten).
    if (value != 0.0) {
        int tenPower;
        if (exponent) {
            tenPower = text.mid(text.indexOf(u'E') + 1).toInt();
            FUZZ_CHECK(tenPower >= 15 || tenPower <= -5);
        } else {
            QString digits = text;
            digits.remove(u'-');
            const qsizetype point = digits.indexOf(u'.');
            const QString whole = point < 0 ? digits : digits.left(point);
            if (whole != u"0") {
                tenPower = int(whole.size()) - 1;
            } else {
                const QString fraction = digits.mid(point + 1);
                qsizetype zeros = 0;
                while (zeros < fraction.size() && fraction.at(zeros) == u'0')
                    ++zeros;
                tenPower = -int(zeros) - 1;
            }
            FUZZ_CHECK(tenPower < 15 && tenPower > -5);
        }
        FUZZ_CHECK((value < 0) == text.startsWith(u'-'));
    } else {
        FUZZ_CHECK_EQ(text, QStringLiteral("0"));
    }
}

// toLong returns or throws LinkError with one of its two texts. Where the
// text has no whitespace other than blanks around it, the two readers see
// the same characters, so toLong's value is leadingNumber's rounded half to
// even, and it overflows exactly when that is beyond 32 bits.
void checkToLong(const QString &text)
{
    bool returned = false;
    qint32 value = 0;
    QString error;
    try {
        value = toLong(text);
        returned = true;
    } catch (const LinkError &e) {
        error = e.description();
    } catch (...) {
        fuzz::fail(__FILE__, __LINE__, "toLong threw something other than LinkError");
    }
    if (!returned)
        FUZZ_CHECK(error == QLatin1String("Overflow") || error == QLatin1String("Type mismatch"));

    QString unblanked = text;
    unblanked.remove(u' ');
    unblanked.remove(u'\t');
    unblanked.remove(u'\n');
    if (unblanked != text.trimmed())
        return;
    const double rounded = std::nearbyint(leadingNumber(text)); // the default mode: half to even
    const bool inRange = rounded >= -2147483648.0 && rounded <= 2147483647.0;
    if (returned) {
        FUZZ_CHECK(inRange);
        FUZZ_CHECK_EQ(qint64(value), qint64(rounded));
    } else if (error == QLatin1String("Overflow")) {
        FUZZ_CHECK(!inRange);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = textFrom(data, size);

    const double value = leadingNumber(text);
    FUZZ_CHECK(std::isfinite(value));
    const QString once = numberText(value);
    checkNumberText(once, value);

    // The rewrite reads back as the value to 15 digits, and rewriting the
    // rewrite changes nothing.
    const double back = leadingNumber(once);
    FUZZ_CHECK(std::isfinite(back));
    if (std::fabs(value) >= DBL_MIN)
        FUZZ_CHECK(std::fabs(back - value) <= 1e-14 * std::fabs(value));
    FUZZ_CHECK_EQ(numberText(back), once);

    checkToLong(text);
    checkToLong(once);
    return 0;
}
