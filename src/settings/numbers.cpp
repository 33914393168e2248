#include "settings/numbers.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace tarn::settings {

QString asNumber(qint64 value) {
    const QString digits = QString::number(value);
    return value < 0 ? digits : QLatin1Char(' ') + digits;
}

namespace {

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Walks the text with blanks taken out, as Val sees it.
class Scanner {
public:
    explicit Scanner(const QString& text) : text_(text) { skipBlanks(); }

    QChar peek() const { return pos_ < text_.size() ? text_.at(pos_) : QChar(); }
    void advance() {
        ++pos_;
        skipBlanks();
    }

private:
    void skipBlanks() {
        while (pos_ < text_.size() && (text_.at(pos_) == u' ' || text_.at(pos_) == u'\t'))
            ++pos_;
    }

    const QString& text_;
    qsizetype pos_ = 0;
};

} // namespace

double lenientNumber(const QString& text) {
    std::string number; // only the characters that make up the number, in C-locale form
    Scanner scan(text);
    bool negative = false;
    if (scan.peek() == u'+' || scan.peek() == u'-') {
        negative = scan.peek() == u'-';
        scan.advance();
    }
    bool mantissaDigits = false;
    while (isDigit(scan.peek())) {
        number += char(scan.peek().unicode());
        mantissaDigits = true;
        scan.advance();
    }
    if (scan.peek() == u'.') {
        number += '.';
        scan.advance();
        while (isDigit(scan.peek())) {
            number += char(scan.peek().unicode());
            mantissaDigits = true;
            scan.advance();
        }
    }
    if (!mantissaDigits)
        return 0.0;
    if (scan.peek() == u'e' || scan.peek() == u'E') {
        // "12e" and "12e+" end before the 'e': an exponent needs at least one digit.
        std::string exponent = "e";
        scan.advance();
        if (scan.peek() == u'+' || scan.peek() == u'-') {
            exponent += char(scan.peek().unicode());
            scan.advance();
        }
        bool exponentDigits = false;
        while (isDigit(scan.peek())) {
            exponent += char(scan.peek().unicode());
            exponentDigits = true;
            scan.advance();
        }
        if (exponentDigits)
            number += exponent;
    }
    double value = 0.0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec != std::errc() || !std::isfinite(value))
        return 0.0;
    return negative ? -value : value;
}

std::optional<qint64> wholeNumber(const QString& text) {
    const qsizetype first = text.startsWith(u'+') || text.startsWith(u'-') ? 1 : 0;
    qsizetype end = first;
    while (end < text.size() && isDigit(text.at(end)))
        ++end;
    if (end == first)
        return std::nullopt;
    bool ok = false;
    const qint64 magnitude = QStringView(text).mid(first, end - first).toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    const qint64 value = text.startsWith(u'-') ? -magnitude : magnitude;
    if (end == text.size())
        return value;
    // Only blanks may end the number; whatever follows them must not be read as more of it.
    if ((text.at(end) != u' ' && text.at(end) != u'\t') || lenientNumber(text) != double(value))
        return std::nullopt;
    return value;
}

int clampedInt(double value) {
    if (std::isnan(value))
        return 0;
    const double rounded = std::round(value);
    return int(std::clamp(rounded, double(std::numeric_limits<int>::min()),
                          double(std::numeric_limits<int>::max())));
}

QString plainNumber(double value) {
    if (!std::isfinite(value) || value == 0.0)
        return QStringLiteral("0"); // also turns -0 into "0"
    // The longest fixed form of a double (the smallest subnormal) has fewer than 400 characters.
    std::array<char, 400> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                         std::chars_format::fixed);
    if (ec != std::errc())
        return QStringLiteral("0");
    return QString::fromLatin1(buffer.data(), end - buffer.data());
}

} // namespace tarn::settings
