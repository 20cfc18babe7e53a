#include "spintoolshost.h"

#include "zlimporttools.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace {

using Hooks = ZLToolsAction::ToolsActionPrivate;

// Dialogs hand their folders over as file: URLs.
QString localPath(const QString &folder)
{
    return folder.startsWith(QLatin1String("file:")) ? QUrl(folder).toLocalFile() : folder;
}

QString listed(const QString &heading, const QVariantList &items)
{
    if (items.isEmpty())
        return QString();
    QStringList lines;
    for (const QVariant &item : items)
        lines << QStringLiteral("  ") + QDir::toNativeSeparators(item.toString());
    return QStringLiteral("\n\n") + heading + QLatin1Char('\n') + lines.join(QLatin1Char('\n'));
}

} // namespace

SpinToolsHost::SpinToolsHost(const std::list<ZLAbstractPlugin *> &objects, QObject *parent)
    : QObject(parent)
    , worker(new WorkerThreads(this, 1))
{
    // Tool ids are the host's: unique across all objects, from 1 on.
    Hooks::addActionTool = [this](ZLToolsAction *object, const ZLToolsAction::ToolInfo &info) {
        const unsigned short id = static_cast<unsigned short>(tools.size() + 1);
        tools.append({object, id, info});
        return id;
    };
    Hooks::itemsCountProcessed = [this](ZLToolsAction *, unsigned int count, bool *cancel) {
        itemsDone.store(int(count));
        if (cancel)
            *cancel = cancelRequested.load();
        QMetaObject::invokeMethod(this, [this] { emit progressChanged(); }, Qt::QueuedConnection);
    };
    // The exports take their spins as arguments; there is no selection of files to offer.
    Hooks::selectedFileNames = [](const ZLToolsAction *, std::list<QString> *) { return false; };

    for (ZLAbstractPlugin *object : objects) {
        if (!object)
            continue;
        if (object->pluginType() == ZLRegisterPlugin::ToolsActionPlugin) {
            if (auto *action = dynamic_cast<ZLToolsAction *>(object))
                action->setupActionTools();
        } else if (object->pluginType() == ZLRegisterPlugin::ImportToolsPlugin) {
            if (auto *import = dynamic_cast<ZLImportTools *>(object))
                imports.append(import);
        }
    }
}

SpinToolsHost::~SpinToolsHost()
{
    cancelRequested.store(true);
    // The worker's job must end before the hooks it may be calling go.
    worker.reset();
    Hooks::addActionTool = nullptr;
    Hooks::itemsCountProcessed = nullptr;
    Hooks::selectedFileNames = nullptr;
}

QVariantList SpinToolsHost::exportTools() const
{
    QVariantList list;
    for (const Tool &tool : tools) {
        if (!(tool.info.flags & 1))
            continue;
        list << QVariantMap{{QStringLiteral("id"), int(tool.id)},
                            {QStringLiteral("key"), QString::fromStdString(tool.info.iconPath)},
                            {QStringLiteral("title"), tool.info.title},
                            {QStringLiteral("options"), tool.object->toolOptions(tool.id)}};
    }
    return list;
}

QVariantList SpinToolsHost::importTools() const
{
    QVariantList list;
    for (int i = 0; i < imports.size(); ++i) {
        const QString title = imports.at(i)->importTitle();
        if (!title.isEmpty())
            list << QVariantMap{{QStringLiteral("index"), i}, {QStringLiteral("title"), title}};
    }
    return list;
}

const SpinToolsHost::Tool *SpinToolsHost::toolById(int id) const
{
    for (const Tool &tool : tools) {
        if (tool.id == id)
            return &tool;
    }
    return nullptr;
}

bool SpinToolsHost::runExport(int toolId, const QStringList &spinFolders, const QString &target,
                              const QVariantMap &options)
{
    const Tool *tool = toolById(toolId);
    if (running || !tool)
        return false;
    QStringList folders;
    for (const QString &folder : spinFolders)
        folders << localPath(folder);
    QVariantMap arguments = options;
    arguments.insert(QStringLiteral("spinFolders"), folders);
    arguments.insert(QStringLiteral("target"), localPath(target));
    ZLToolsAction *object = tool->object;
    const unsigned short id = tool->id;
    startJob([this, object, id, arguments]() -> WorkerThreads::Finish {
        QVariantMap result;
        const bool ok = object->runTool(id, arguments, &result);
        QString text;
        if (ok) {
            text = tr("Written to \"%1\".").arg(QDir::toNativeSeparators(result.value(QStringLiteral("path")).toString()));
            const QStringList gaps = result.value(QStringLiteral("gaps")).toStringList();
            if (!gaps.isEmpty())
                text += QStringLiteral("\n\n") + tr("Left out:") + QStringLiteral("\n  ") + gaps.join(QStringLiteral("\n  "));
        } else {
            text = object->lastError();
            if (text.isEmpty())
                text = tr("The export failed without saying why.");
        }
        return [this, ok, text, result] { finishJob(ok, text, result); };
    });
    return true;
}

bool SpinToolsHost::runImport(int index, const QString &cardFolder, const QString &spinFolder)
{
    if (running || index < 0 || index >= imports.size())
        return false;
    ZLImportTools *object = imports.at(index);
    const QString source = localPath(cardFolder);
    const QString spin = localPath(spinFolder);
    startJob([this, object, source, spin]() -> WorkerThreads::Finish {
        QVariantMap report;
        const bool ok = object->importIntoSpin(source, spin, &report);
        QString text = ok ? importReportText(report) : object->lastError();
        if (!ok && text.isEmpty())
            text = tr("The import failed without saying why.");
        return [this, ok, text, report] { finishJob(ok, text, report); };
    });
    return true;
}

void SpinToolsHost::startJob(WorkerThreads::Job job)
{
    running = true;
    itemsDone.store(0);
    cancelRequested.store(false);
    emit busyChanged();
    emit progressChanged();
    worker->start(std::move(job));
}

void SpinToolsHost::finishJob(bool ok, const QString &text, const QVariantMap &result)
{
    running = false;
    emit busyChanged();
    emit finished(ok, text, result);
}

void SpinToolsHost::cancel()
{
    cancelRequested.store(true);
}

bool SpinToolsHost::isBusy() const
{
    return running;
}

int SpinToolsHost::progress() const
{
    return itemsDone.load();
}

QString SpinToolsHost::importReportText(const QVariantMap &report)
{
    const QVariantList imported = report.value(QStringLiteral("imported")).toList();
    QString text = tr("%n picture(s) copied into the spin.", nullptr, imported.size());
    const double offset = report.value(QStringLiteral("offsetSeconds")).toDouble();
    if (!imported.isEmpty())
        text += QLatin1Char(' ') + tr("The camera's clock was %1 s off.").arg(offset, 0, 'f', 1);
    QStringList missing;
    for (const QVariant &shot : report.value(QStringLiteral("missingShots")).toList())
        missing << shot.toString();
    if (!missing.isEmpty())
        text += QStringLiteral("\n\n") + tr("Shots without a picture: %1").arg(missing.join(QStringLiteral(", ")));
    text += listed(tr("Pictures that match no shot:"), report.value(QStringLiteral("unmatched")).toList());
    text += listed(tr("Pictures that fit more than one shot (not copied):"),
                   report.value(QStringLiteral("ambiguous")).toList());
    text += listed(tr("Already in the spin, not overwritten:"), report.value(QStringLiteral("skippedExisting")).toList());
    return text;
}
