#pragma once

#include <QString>
#include <optional>

namespace tarn::settings {

// A number written the way the file has always held it: a leading blank where a sign would go
// when not negative (" 3", " 0", "-5").
QString asNumber(qint64 value);

// Reads as much of a number as the text holds, the way BASIC's Val does: blanks anywhere are
// skipped, reading stops at the first character that cannot continue the number, text without
// a number gives 0 ("12abc" -> 12, " 1 2" -> 12, "abc" -> 0). A number too large for a double
// also gives 0, so the result is always finite.
double lenientNumber(const QString& text);

// A whole decimal number for a setting that must be one: "20", "+20", "-5", and a number with
// a remark after blanks ("20 ; fast" gives 20, as BASIC's Val read it). Text that Val would read
// as another number ("50ms", "9600.5", "1 2", "1 e3") or as no number at all gives nothing, and
// so does a number beyond 64 bits: such a value is a typing error, not a setting.
std::optional<qint64> wholeNumber(const QString& text);

// The nearest int, with values beyond int's range (a hand-edited "1e30") held at its ends, so a
// position read from the file is always a usable number.
int clampedInt(double value);

// Plain decimal text: no leading blank, no exponent, no ".0" on whole numbers ("1234", "12.5").
// Infinity and NaN, which have no such form, give "0".
QString plainNumber(double value);

} // namespace tarn::settings
