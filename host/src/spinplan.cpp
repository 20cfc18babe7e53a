#include "spinplan.h"

#include "spinwrightidentity.h"
#include "zlcamerahardware.h"
#include "zlturntablehardware.h"
#include "zlturntablespins.h"

#include <QCoreApplication>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>

#include <climits>
#include <cmath>

namespace {

// The list's entry for the open row; an identified board's row lies past its one-entry list.
QString modelName(ZLTurntableHardware *turntable)
{
    const QStringList names = globalQmlEngine()->rootContext()
                                  ->contextProperty(QStringLiteral("TurntableDevicesModel")).toStringList();
    const size_t row = turntable ? turntable->currentTurntableIndex() : SIZE_MAX;
    if (row < size_t(names.size()))
        return names.at(int(row));
    return names.size() == 1 && row != SIZE_MAX ? names.first() : QString();
}

int panelSpeed(QQuickItem *panel)
{
    const QObject *slider = panel ? panel->findChild<QObject *>(QStringLiteral("rotationSpeedSlider")) : nullptr;
    const int speed = slider ? qRound(slider->property("value").toDouble()) : 0;
    return qBound(0, speed, 100);
}

} // namespace

SpinManifest::Spin SpinPlan::make(const ZLTurntableSpins &spins, ZLTurntableHardware *turntable,
                                  ZLCameraHardware *camera, const QString &cameraName, QQuickItem *turntablePanel)
{
    SpinManifest::Spin plan;
    plan.program = QStringLiteral("%1 %2%3").arg(QLatin1String(SpinwrightIdentity::applicationName),
                                                 QLatin1String(SpinwrightIdentity::versionPrefix),
                                                 QLatin1String(SpinwrightIdentity::changelistNumber));
    plan.created = QDateTime::currentDateTime();
    plan.turntableModel = modelName(turntable);
    plan.countsPerRevolution = turntable ? int(qMin(turntable->countsPerRevolution(), 10000000u)) : 0;
    const bool tethered = camera && camera->cameraQueryB();
    plan.cameraKind = tethered ? QStringLiteral("tethered") : QStringLiteral("cable");
    plan.cameraName = !cameraName.isEmpty() ? cameraName
                      : tethered ? QString()
                                 : QCoreApplication::translate("SpinPlan", "Shutter-release cable");
    plan.direction = spins.direction() == 1 ? QStringLiteral("counterclockwise") : QStringLiteral("clockwise");
    plan.speed = panelSpeed(turntablePanel);
    plan.preCaptureDelay = qBound(0.0, double(spins.preCaptureDelay()), 86400.0);
    plan.postCaptureDelay = qBound(0.0, double(spins.postCaptureDelay()), 86400.0);
    plan.manualCapture = spins.isManualCapture();
    // A list may end at 360, the start seen again; the record keeps angles within one turn.
    for (float angle : spins.shootingAngles()) {
        double a = std::fmod(double(angle), 360.0);
        if (a < 0.0)
            a += 360.0;
        plan.plannedAngles.append(a);
    }
    return plan;
}
