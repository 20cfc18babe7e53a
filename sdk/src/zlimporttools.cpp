#include "zlimporttools.h"
#include "zlinterfacebasics_p.h"

ZL_DEFINE_INTERFACE_BASICS(ZLImportTools, ImportToolsPrivate, ImportToolsPlugin)

QString ZLImportTools::importTitle() const
{
    return QString();
}

bool ZLImportTools::importIntoSpin(const QString &sourceFolder, const QString &spinFolder,
                                   QVariantMap *report)
{
    Q_UNUSED(sourceFolder)
    Q_UNUSED(spinFolder)
    Q_UNUSED(report)
    return false;
}
