#include "exportoptions.h"

#include <cmath>

void ExportOptions::addNumber(const QString &key, int value, int min, int max)
{
    defaults.insert(key, QVariantMap{{QStringLiteral("value"), value},
                                     {QStringLiteral("min"), min},
                                     {QStringLiteral("max"), max}});
    values.insert(key, value);
}

void ExportOptions::addFlag(const QString &key, bool value)
{
    defaults.insert(key, QVariantMap{{QStringLiteral("value"), value}});
    values.insert(key, value);
}

QVariantMap ExportOptions::describe() const
{
    return defaults;
}

bool ExportOptions::take(const QVariantMap &arguments, QString *error)
{
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it) {
        if (!arguments.contains(it.key()))
            continue;
        const QVariant given = arguments.value(it.key());
        const QVariantMap bounds = it.value().toMap();
        if (!bounds.contains(QStringLiteral("min"))) {
            if (given.type() != QVariant::Bool) {
                *error = tr("The option \"%1\" must be on or off.").arg(it.key());
                return false;
            }
            values.insert(it.key(), given.toBool());
            continue;
        }
        bool ok = false;
        const double number = given.toDouble(&ok);
        const int min = bounds.value(QStringLiteral("min")).toInt();
        const int max = bounds.value(QStringLiteral("max")).toInt();
        if (!ok || given.type() == QVariant::Bool || !std::isfinite(number) || number < min
            || number > max || number != std::floor(number)) {
            *error = tr("The option \"%1\" must be a whole number from %2 to %3.")
                             .arg(it.key()).arg(min).arg(max);
            return false;
        }
        values.insert(it.key(), int(number));
    }
    return true;
}

int ExportOptions::number(const QString &key) const
{
    return values.value(key).toInt();
}

bool ExportOptions::flag(const QString &key) const
{
    return values.value(key).toBool();
}
