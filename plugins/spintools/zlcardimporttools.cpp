#include "zlcardimporttools.h"

#include "cardimporter.h"

ZLCardImportTools::ZLCardImportTools() = default;

ZLCardImportTools::~ZLCardImportTools() = default;

QString ZLCardImportTools::importTitle() const
{
    return tr("Import pictures from the card");
}

bool ZLCardImportTools::importIntoSpin(const QString &sourceFolder, const QString &spinFolder,
                                       QVariantMap *report)
{
    CardImporter importer;
    QString error;
    if (!importer.run(sourceFolder, spinFolder, &error)) {
        setLastError(error);
        return false;
    }
    if (report)
        *report = importer.report();
    return true;
}
