#pragma once

#include <QCoreApplication>
#include <QVariantMap>

// Copies the pictures of a cable-fired spin from the camera's card into the spin's
// "originalCapturedImages", named by shot and angle, and records them in the manifest. The card
// is only read; nothing in the spin is replaced. Raw files beside a matched JPEG (same name,
// same folder) come along under the same shot.
class CardImporter
{
    Q_DECLARE_TR_FUNCTIONS(CardImporter)

public:
    // Pictures looked at on one card at most; a folder holding more is refused, not half-read.
    static constexpr int maxPictures = 100000;

    bool run(const QString &sourceFolder, const QString &spinFolder, QString *error);
    // "imported" ({"shot", "file", "source"}), "missingShots", "unmatched", "ambiguous",
    // "skippedExisting", "offsetSeconds".
    QVariantMap report() const { return result; }

private:
    QVariantMap result;
};
