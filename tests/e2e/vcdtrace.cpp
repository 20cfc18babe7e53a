#include "vcdtrace.h"

#include <QFile>
#include <QHash>
#include <QTextStream>

#include <cstdlib>

VcdTrace readStepperTrace(const QString &path, bool enableActiveHigh, bool clockwiseActiveHigh)
{
    VcdTrace trace;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        trace.error = file.errorString();
        return trace;
    }
    QTextStream in(&file);
    QHash<QString, QString> wireOf;  // identifier -> wire name, first scope only
    QHash<QString, int> level;
    int scopeDepth = 0;
    int scopesSeen = 0;
    bool definitions = true;
    bool initialLevels = false;  // inside $dumpvars: levels, not changes
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty())
            continue;
        if (definitions) {
            const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (words.value(0) == QLatin1String("$scope")) {
                ++scopeDepth;
                if (scopeDepth == 2)
                    ++scopesSeen;
            } else if (words.value(0) == QLatin1String("$upscope")) {
                --scopeDepth;
            } else if (words.value(0) == QLatin1String("$var") && scopeDepth == 2 && scopesSeen == 1
                       && words.size() >= 5) {
                wireOf.insert(words[3], words[4]);
            } else if (words.value(0) == QLatin1String("$enddefinitions")) {
                definitions = false;
            }
            continue;
        }
        if (line.startsWith(QLatin1String("$dumpvars"))) {
            initialLevels = true;
            continue;
        }
        if (line.startsWith(QLatin1String("$end"))) {
            initialLevels = false;
            continue;
        }
        if (line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char('$')))
            continue;
        const QString wire = wireOf.value(line.mid(1));
        if (wire.isEmpty())
            continue;
        const int value = line.at(0) == QLatin1Char('1') ? 1 : 0;
        const bool rising = !initialLevels && value == 1 && level.value(wire) == 0;
        level.insert(wire, value);
        if (!rising)
            continue;
        if (wire == QLatin1String("step") && level.value(QStringLiteral("enable")) == (enableActiveHigh ? 1 : 0)) {
            const bool clockwise = level.value(QStringLiteral("direction")) == (clockwiseActiveHigh ? 1 : 0);
            trace.position += clockwise ? -1 : 1;
            ++trace.steps;
        } else if (wire == QLatin1String("shutter2") && level.value(QStringLiteral("shutter1")) == 1) {
            trace.exposures.append(trace.position);
        }
    }
    if (!wireOf.values().contains(QStringLiteral("step")))
        trace.error = QStringLiteral("no stepper board in the dump");
    trace.valid = trace.error.isEmpty();
    return trace;
}

QString checkEvenSpin(const VcdTrace &trace, qint64 countsPerRevolution, int pictures, bool clockwise)
{
    if (!trace.valid)
        return trace.error;
    if (trace.exposures.size() != pictures)
        return QStringLiteral("%1 exposures, expected %2").arg(trace.exposures.size()).arg(pictures);
    // Clockwise counts down from the start position.
    const qint64 sign = clockwise ? -1 : 1;
    for (int i = 0; i < pictures; ++i) {
        const qint64 expected = sign * i * countsPerRevolution / pictures;
        if (std::abs(trace.exposures[i] - expected) > 1)
            return QStringLiteral("exposure %1 at %2, expected %3").arg(i).arg(trace.exposures[i]).arg(expected);
    }
    if (std::abs(trace.position - sign * countsPerRevolution) > 1)
        return QStringLiteral("the table ends at %1, expected %2").arg(trace.position).arg(sign * countsPerRevolution);
    if (std::abs(trace.steps - countsPerRevolution) > 1)
        return QStringLiteral("%1 steps, expected %2").arg(trace.steps).arg(countsPerRevolution);
    return QString();
}
