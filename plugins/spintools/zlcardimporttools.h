#pragma once

#include "zlimporttools.h"

#include <QCoreApplication>

// The card import: pictures of a spin fired through the shutter-release cable stay on the
// camera's card; this copies them into the spin by their capture times.
class ZLCardImportTools : public ZLImportTools
{
    Q_DECLARE_TR_FUNCTIONS(ZLCardImportTools)

public:
    ZLCardImportTools();
    ~ZLCardImportTools() override;

    QString importTitle() const override;
    bool importIntoSpin(const QString &sourceFolder, const QString &spinFolder,
                        QVariantMap *report) override;
};
