#include "zlplugin.h"

#include <QDir>
#include <QStandardPaths>

#include <cstdlib>

std::mutex ZLAbstractPlugin::AbstractPluginPrivate::asyncMutex;
QString ZLAbstractPlugin::AbstractPluginPrivate::currentProjectDirectory;

ZLAbstractPlugin::ZLAbstractPlugin()
    : d(new AbstractPluginPrivate)
{
}

ZLAbstractPlugin::~ZLAbstractPlugin()
{
    delete d;
}

void ZLAbstractPlugin::pluginDidInitialized()
{
}

void ZLAbstractPlugin::pluginWillClose()
{
}

void ZLAbstractPlugin::applicationDidBecomeActive()
{
}

void ZLAbstractPlugin::applicationDidEnterBackground()
{
}

QQuickItem *ZLAbstractPlugin::createPluginUIFrameView()
{
    return nullptr;
}

bool ZLAbstractPlugin::pluginUIFrameViewWillClose(QQuickItem *item)
{
    Q_UNUSED(item)
    return true;
}

void ZLAbstractPlugin::projectDirectoryWasChanged() const
{
}

const QString ZLAbstractPlugin::lastError() const
{
    std::lock_guard<std::mutex> lock(AbstractPluginPrivate::asyncMutex);
    return d->lastErrorText;
}

void ZLAbstractPlugin::setLastError(QString text)
{
    std::lock_guard<std::mutex> lock(AbstractPluginPrivate::asyncMutex);
    d->lastErrorText.swap(text);
}

QString ZLAbstractPlugin::applicationLocalDataDirectory()
{
    QDir dir(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
    // A failure shows in the caller's later file operations.
    if (!dir.exists())
        dir.mkpath(QStringLiteral("."));
    return dir.path();
}

QString ZLAbstractPlugin::currentProjectDirectory(bool lock)
{
    if (!lock)
        return AbstractPluginPrivate::currentProjectDirectory;
    std::lock_guard<std::mutex> guard(AbstractPluginPrivate::asyncMutex);
    return AbstractPluginPrivate::currentProjectDirectory;
}

char ZLAbstractPlugin::pathSeparator()
{
    return '\\';
}

std::wstring ZLAbstractPlugin::utf8ToWideString(const std::string &text)
{
    // One wide character per byte; what the conversion leaves unwritten stays zero.
    std::wstring result(text.size(), L'\0');
    if (!text.empty())
        std::mbstowcs(&result[0], text.c_str(), result.size());
    return result;
}

std::string ZLAbstractPlugin::wideToUtf8String(const std::wstring &text)
{
    std::string result(text.size(), '\0');
    if (!text.empty())
        std::wcstombs(&result[0], text.c_str(), result.size());
    return result;
}

std::wstring ZLAbstractPlugin::nativeToWideString(QString text)
{
    return text.toStdWString();
}

QString ZLAbstractPlugin::wideToNativeString(const std::wstring &text)
{
    return QString::fromStdWString(text);
}
