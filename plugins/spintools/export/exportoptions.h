#pragma once

#include <QCoreApplication>
#include <QVariantMap>

#include <functional>

// Reports frames done; answers false once the user cancelled.
using ExportProgress = std::function<bool(int done)>;

// The options of one export with their defaults and bounds, and the values a run was given,
// each checked: a value of the wrong type or out of bounds is refused with a text naming it.
class ExportOptions
{
    Q_DECLARE_TR_FUNCTIONS(ExportOptions)

public:
    void addNumber(const QString &key, int value, int min, int max);
    void addFlag(const QString &key, bool value);

    // {"key": {"value", "min", "max"}} for the host's dialog.
    QVariantMap describe() const;
    // Takes the values in arguments (other keys are ignored); false with *error on a bad one.
    bool take(const QVariantMap &arguments, QString *error);

    int number(const QString &key) const;
    bool flag(const QString &key) const;

private:
    QVariantMap defaults;
    QVariantMap values;
};
