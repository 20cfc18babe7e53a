#pragma once

#include "zlturntablespins.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

// Turns the editor's two signals into the angle list and publishes it to the editor as the
// root-context property "ShootingAnglesModel". Its slots run inside the editor's emission.
class ZLTurntableSpinsPrivateExOS : public QObject
{
    Q_OBJECT

public:
    explicit ZLTurntableSpinsPrivateExOS(QObject *editorItem);

    QPointer<QObject> item;
    QStringList angleTexts;
    // Of the open turntable; 0 while none is open or its counts are not known yet.
    unsigned int countsPerRevolution = 0;

    void publishAngles();

public slots:
    void fixedImagesCountChanged(int imagesCount);
    void customAngleAdded(const QString &customAngle);
};

struct ZLTurntableSpins::TurntableSpinsPrivate
{
    ZLTurntableSpinsPrivateExOS *companion = nullptr;
    qint32 shootingMode = 0;
    QList<float> shootingAngles;
    quint16 stepIndex = 0;
    float preCaptureDelay = 0.0f;
    float postCaptureDelay = 0.0f;
    qint32 direction = 0;
    float videoDegrees = 0.0f;
    bool isManualCapture = false;
    QString settingsFileError;
};
