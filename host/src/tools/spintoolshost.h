#pragma once

#include "workerthreads.h"
#include "zltoolsaction.h"

#include <QObject>
#include <QVariantList>
#include <QVector>

#include <atomic>
#include <list>
#include <memory>

class ZLAbstractPlugin;
class ZLImportTools;

// The host's side of the tools-action (exports) and import-tools plug-in objects. It installs
// the tools-action hooks, has every tools-action object add its tools once, lists them for the
// dialogs, and runs one export or import at a time on a worker thread of its own; progress and
// the outcome reach the GUI thread queued. The hooks are process-wide, so there is one of these
// at a time: created on the GUI thread after the plug-ins' objects, destroyed before them (it
// waits for a job in flight).
class SpinToolsHost : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool busy READ isBusy NOTIFY busyChanged)
    // Items (frames, pictures) the running tool reported done.
    Q_PROPERTY(int progress READ progress NOTIFY progressChanged)

public:
    // Takes the objects of any kind; the tools-action and import-tools ones are used, none owned.
    explicit SpinToolsHost(const std::list<ZLAbstractPlugin *> &objects, QObject *parent = nullptr);
    ~SpinToolsHost() override;

    // The tools that export a spin: [{"id", "key", "title", "options"}], options as the tool's
    // toolOptions() gives them ({key: {"value", "min", "max"}}).
    Q_INVOKABLE QVariantList exportTools() const;
    // [{"index", "title"}] of the import-tools objects that name themselves.
    Q_INVOKABLE QVariantList importTools() const;
    // Starts the tool on a worker thread; false (and nothing started) while another job runs or
    // for an unknown tool. finished() follows in every other case.
    Q_INVOKABLE bool runExport(int toolId, const QStringList &spinFolders, const QString &target,
                               const QVariantMap &options);
    Q_INVOKABLE bool runImport(int index, const QString &cardFolder, const QString &spinFolder);
    // The running tool stops at its next report of progress.
    Q_INVOKABLE void cancel();

    bool isBusy() const;
    int progress() const;

    // What the dialog shows of an import's report.
    static QString importReportText(const QVariantMap &report);

signals:
    void busyChanged();
    void progressChanged();
    // text: what the user reads (where the export went, or why it failed; the import's lists).
    void finished(bool ok, const QString &text, const QVariantMap &result);

private:
    struct Tool
    {
        ZLToolsAction *object;
        unsigned short id;
        ZLToolsAction::ToolInfo info;
    };

    const Tool *toolById(int id) const;
    void startJob(WorkerThreads::Job job);
    void finishJob(bool ok, const QString &text, const QVariantMap &result);

    // GUI thread: filled while the objects add their tools, read-only after.
    QVector<Tool> tools;
    QVector<ZLImportTools *> imports;
    bool running = false;
    // Written by the worker through the progress hook, read by the GUI thread.
    std::atomic<int> itemsDone{0};
    std::atomic<bool> cancelRequested{false};
    std::unique_ptr<WorkerThreads> worker;
};
