#pragma once

#include <QCoreApplication>
#include <QString>

// Where an export is written: a hidden temporary folder inside the target, renamed (or its one
// file moved) to the final name at the end, so nothing half-written ever carries that name.
// The temporary folder goes away with this object unless commit() succeeded.
class ExportStaging
{
    Q_DECLARE_TR_FUNCTIONS(ExportStaging)

public:
    ExportStaging() = default;
    ~ExportStaging();
    ExportStaging(const ExportStaging &) = delete;
    ExportStaging &operator=(const ExportStaging &) = delete;

    bool begin(const QString &target, QString *error);
    // The folder to write into.
    QString path() const { return stagingPath; }
    QString filePath(const QString &name) const;

    // Moves the staged folder to "<target>/<name>" (folder) or the one staged file fileName to
    // "<target>/<name>"; an existing entry of that name is never replaced: "-2", "-3" are
    // appended. Returns the final path, or an empty text with *error set.
    QString commitFolder(const QString &name, QString *error);
    QString commitFile(const QString &fileName, const QString &name, QString *error);

    // When a write failed: a message saying the target's disk is full, or empty when it is not.
    QString fullDiskMessage() const;

private:
    QString freeName(const QString &name) const;

    QString targetPath;
    QString stagingPath;
};
