#include "decimaltext.h"

#include <cmath>

namespace DecimalText {

double parse(const QString &text, bool *ok, const QLocale &locale)
{
    const QString trimmed = text.trimmed();
    bool parsed = false;
    double value = 0.0;
    // One separator at most, or "1,000.5" would pass as 1.0005.
    if (trimmed.count(QLatin1Char(',')) + trimmed.count(QLatin1Char('.')) <= 1)
        value = QLocale::c().toDouble(QString(trimmed).replace(QLatin1Char(','), QLatin1Char('.')), &parsed);
    if (!parsed) {
        QLocale own = locale;
        own.setNumberOptions(QLocale::RejectGroupSeparator);
        value = own.toDouble(trimmed, &parsed);
    }
    if (!parsed || !std::isfinite(value)) {
        parsed = false;
        value = 0.0;
    }
    if (ok)
        *ok = parsed;
    return value;
}

} // namespace DecimalText
