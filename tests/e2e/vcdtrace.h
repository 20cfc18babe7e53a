#pragma once

#include <QString>
#include <QVector>

// What a stepper board did, read back from the simulator's Value Change Dump of its lines.
struct VcdTrace
{
    bool valid = false;
    QString error;
    qint64 steps = 0;                 // step pulses taken while the motor was powered
    qint64 position = 0;              // counts, counterclockwise positive
    QVector<qint64> exposures;        // position at each exposure
};

// Reads the wires of the first device; the levels say how the driver was set up.
VcdTrace readStepperTrace(const QString &path, bool enableActiveHigh, bool clockwiseActiveHigh);

// Empty when the trace shows `pictures` exposures spread evenly over one whole turn from the
// start, in the given direction, and the table back where it started, each within one count;
// otherwise what differs.
QString checkEvenSpin(const VcdTrace &trace, qint64 countsPerRevolution, int pictures, bool clockwise);
