#pragma once

#include <QLocale>
#include <QString>

// Decimal numbers as users type them and as settings files written under any locale store them.
namespace DecimalText {

// The number in text (surrounding blanks ignored) written with either decimal separator, "2.5"
// or "2,5", and no group separators; failing that, in locale's own notation without group
// separators. Anything else, infinities and NaN included, gives 0 and *ok false.
double parse(const QString &text, bool *ok = nullptr, const QLocale &locale = QLocale::c());

} // namespace DecimalText
