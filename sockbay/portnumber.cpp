// SPDX-License-Identifier: MIT
#include "portnumber.h"

#include "linkerror.h"
#include "payload.h"

#include <QLocale>

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <limits>

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

int digitValue(QChar c, int radix)
{
    const int d = hexDigitValue(c);
    return d < radix ? d : -1;
}

[[noreturn]] void overflow()
{
    throw LinkError(QStringLiteral("Overflow"));
}

// Digits after &H or &O. Up to 16 bits they read as a signed 16-bit value,
// up to 32 bits as a signed 32-bit value (so &HFFFF is -1); beyond that as
// the plain unsigned number, so that reading never fails.
double radixValue(const QString &digits, int radix)
{
    double wide = 0;
    for (const QChar c : digits) {
        const int d = digitValue(c, radix);
        if (d < 0)
            break;
        wide = wide * radix + d;
    }
    // Past the range of a double (about 256 hexadecimal digits) the sum is
    // infinite: read it as the largest double, as a decimal number is read.
    if (wide > double(0xFFFFFFFFull))
        return std::min(wide, std::numeric_limits<double>::max());
    const auto value = quint64(wide);
    if (value <= 0xFFFF)
        return double(qint16(quint16(value)));
    return double(qint32(quint32(value)));
}

// The longest decimal number at the front of `s` (blanks already removed),
// as text the C locale reads; empty when there is none.
QString decimalPrefix(const QString &s, bool *complete)
{
    qsizetype i = 0;
    QString out;
    if (i < s.size() && (s.at(i) == u'-' || s.at(i) == u'+'))
        out += s.at(i++);
    QString whole;
    QString fraction;
    while (i < s.size() && isDigit(s.at(i)))
        whole += s.at(i++);
    if (i < s.size() && s.at(i) == u'.') {
        ++i;
        while (i < s.size() && isDigit(s.at(i)))
            fraction += s.at(i++);
    }
    if (whole.isEmpty() && fraction.isEmpty()) {
        *complete = s.isEmpty();
        return QString();
    }
    // Written out in full ("0.5", "5.0") so that any reader takes it.
    out += (whole.isEmpty() ? QStringLiteral("0") : whole) + u'.' + (fraction.isEmpty() ? QStringLiteral("0") : fraction);
    if (i < s.size()) {
        const QChar e = s.at(i);
        if (e == u'E' || e == u'e' || e == u'D' || e == u'd') {
            qsizetype j = i + 1;
            QString exponent = QStringLiteral("e");
            if (j < s.size() && (s.at(j) == u'-' || s.at(j) == u'+'))
                exponent += s.at(j++);
            const qsizetype digitsFrom = j;
            while (j < s.size() && isDigit(s.at(j)))
                exponent += s.at(j++);
            // A bare "E" or "E-" adds nothing to the value.
            if (j > digitsFrom)
                out += exponent;
            i = j;
        }
    }
    *complete = i == s.size();
    return out;
}

double readDecimal(const QString &number)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(number, &ok);
    // Beyond the range of a double the box reads as the largest one, so the
    // rewrite never fails and the attempt that uses it reports the port.
    if (std::isinf(value))
        return std::copysign(std::numeric_limits<double>::max(), value);
    // Not ok without infinity: the value is below the smallest double.
    return ok ? value : 0.0;
}

} // namespace

double leadingNumber(const QString &text)
{
    QString s;
    s.reserve(text.size());
    for (const QChar c : text) {
        if (!isBlank(c))
            s += c;
    }
    if (s.startsWith(u'&')) {
        if (s.size() >= 2 && (s.at(1) == u'H' || s.at(1) == u'h'))
            return radixValue(s.mid(2), 16);
        if (s.size() >= 2 && (s.at(1) == u'O' || s.at(1) == u'o'))
            return radixValue(s.mid(2), 8);
        return 0.0;
    }
    bool complete = false;
    const QString number = decimalPrefix(s, &complete);
    return number.isEmpty() ? 0.0 : readDecimal(number);
}

QString numberText(double value)
{
    if (value == 0.0 || std::isnan(value))
        return QStringLiteral("0");
    // A box never reads as infinite (see leadingNumber); should a caller
    // hand one in, write the largest number rather than "inf".
    if (std::isinf(value))
        value = std::copysign(std::numeric_limits<double>::max(), value);

    // 15 significant digits, rounded once by the C library.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
    const QString scientific = QString::fromLatin1(buf);
    const qsizetype ePos = scientific.indexOf(u'e');
    QString digits = scientific.left(ePos);
    digits.remove(u'.');
    const int exponent = scientific.mid(ePos + 1).toInt();
    while (digits.size() > 1 && digits.endsWith(u'0'))
        digits.chop(1);

    QString out = value < 0 ? QStringLiteral("-") : QString();
    if (exponent >= 15 || exponent <= -5) {
        out += digits.at(0);
        if (digits.size() > 1)
            out += u'.' + digits.mid(1);
        out += exponent < 0 ? QStringLiteral("E-") : QStringLiteral("E+");
        out += QStringLiteral("%1").arg(std::abs(exponent), 2, 10, QLatin1Char('0'));
    } else if (exponent >= 0) {
        const qsizetype intDigits = exponent + 1;
        if (digits.size() <= intDigits) {
            out += digits + QString(intDigits - digits.size(), u'0');
        } else {
            out += digits.left(intDigits) + u'.' + digits.mid(intDigits);
        }
    } else {
        out += QStringLiteral("0.") + QString(-exponent - 1, u'0') + digits;
    }
    return out;
}

qint32 toLong(const QString &text)
{
    const QString s = text.trimmed();
    double value = 0.0;
    if (s.size() > 2 && s.at(0) == u'&' && (s.at(1) == u'H' || s.at(1) == u'h' || s.at(1) == u'O' || s.at(1) == u'o')) {
        const int radix = (s.at(1) == u'H' || s.at(1) == u'h') ? 16 : 8;
        for (qsizetype i = 2; i < s.size(); ++i) {
            if (digitValue(s.at(i), radix) < 0)
                throw LinkError(QStringLiteral("Type mismatch"));
        }
        value = radixValue(s.mid(2), radix);
    } else {
        bool complete = false;
        const QString number = decimalPrefix(s, &complete);
        if (number.isEmpty() || !complete)
            throw LinkError(QStringLiteral("Type mismatch"));
        value = readDecimal(number);
    }
    // Half-way values go to the even neighbour, as the conversion always did.
    const int mode = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(mode);
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0))
        overflow();
    return qint32(rounded);
}
