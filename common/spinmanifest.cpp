#include "spinmanifest.h"

#include "settingsfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QtMath>

#include <cmath>

namespace SpinManifest {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("SpinManifest", text);
}

QString timeText(const QDateTime &time)
{
    return time.isValid() ? time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs)
                          : QString();
}

// Every check names the key it refused, so that a user who edited the file finds the place.
class Checker
{
public:
    explicit Checker(QString *error) : error(error) {}

    bool fail(const QString &key, const QString &why)
    {
        *error = tr("\"%1\" %2").arg(key, why);
        return false;
    }

    bool string(const QJsonObject &o, const QString &key, QString *out, const QStringList &allowed = {})
    {
        const QJsonValue v = o.value(key);
        if (v.isUndefined())
            return true;
        if (!v.isString())
            return fail(key, tr("is not a text"));
        if (!allowed.isEmpty() && !allowed.contains(v.toString()))
            return fail(key, tr("is not one of %1").arg(allowed.join(QLatin1String(", "))));
        *out = v.toString();
        return true;
    }

    bool number(const QJsonObject &o, const QString &key, double lo, double hi, bool upperOpen, double *out)
    {
        const QJsonValue v = o.value(key);
        if (v.isUndefined())
            return true;
        const double d = v.toDouble(qQNaN());
        if (!v.isDouble() || !std::isfinite(d) || d < lo || d > hi || (upperOpen && d >= hi))
            return fail(key, tr("is not a number from %1 to %2").arg(lo).arg(hi));
        *out = d;
        return true;
    }

    bool integer(const QJsonObject &o, const QString &key, int lo, int hi, int *out)
    {
        double d = *out;
        if (!number(o, key, lo, hi, false, &d))
            return false;
        if (d != std::floor(d))
            return fail(key, tr("is not a whole number"));
        *out = int(d);
        return true;
    }

    bool time(const QJsonObject &o, const QString &key, QDateTime *out)
    {
        QString text;
        if (!string(o, key, &text))
            return false;
        if (text.isEmpty())
            return true;
        const QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
        if (!t.isValid())
            return fail(key, tr("is not a date and time"));
        *out = t;
        return true;
    }

    bool boolean(const QJsonObject &o, const QString &key, bool *out)
    {
        const QJsonValue v = o.value(key);
        if (v.isUndefined())
            return true;
        if (!v.isBool())
            return fail(key, tr("is not true or false"));
        *out = v.toBool();
        return true;
    }

    bool object(const QJsonObject &o, const QString &key, QJsonObject *out)
    {
        const QJsonValue v = o.value(key);
        if (v.isUndefined())
            return true;
        if (!v.isObject())
            return fail(key, tr("is not an object"));
        *out = v.toObject();
        return true;
    }

    bool array(const QJsonObject &o, const QString &key, int maxSize, QJsonArray *out)
    {
        const QJsonValue v = o.value(key);
        if (v.isUndefined())
            return true;
        if (!v.isArray())
            return fail(key, tr("is not a list"));
        if (v.toArray().size() > maxSize)
            return fail(key, tr("holds more than %1 entries").arg(maxSize));
        *out = v.toArray();
        return true;
    }

private:
    QString *error;
};

// A file entry must stay inside the pictures folder: no absolute path, no "..", no backslash
// (which a Windows reader would take as a separator).
bool isPictureEntry(const QString &entry)
{
    const QString prefix = QLatin1String(imagesFolder) + QLatin1Char('/');
    if (!entry.startsWith(prefix) || entry.contains(QLatin1Char('\\')) || entry.contains(QChar(0)))
        return false;
    const QString rest = entry.mid(prefix.size());
    if (rest.isEmpty())
        return false;
    const QStringList parts = rest.split(QLatin1Char('/'));
    for (const QString &part : parts) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return false;
    }
    return true;
}

bool shotFromJson(const QJsonValue &value, Shot *shot, Checker &check)
{
    if (!value.isObject())
        return check.fail(QStringLiteral("shots"), tr("holds an entry that is not an object"));
    const QJsonObject o = value.toObject();
    QJsonArray files;
    if (!check.integer(o, QStringLiteral("shot"), 1, maxShots, &shot->shot)
        || !check.number(o, QStringLiteral("angle"), 0.0, 360.0, true, &shot->angle)
        || !check.time(o, QStringLiteral("time"), &shot->time)
        || !check.array(o, QStringLiteral("files"), 16, &files)
        || !check.string(o, QStringLiteral("outcome"), &shot->outcome,
                         {QStringLiteral("captured"), QStringLiteral("triggered"),
                          QStringLiteral("imported"), QStringLiteral("failed")})
        || !check.string(o, QStringLiteral("error"), &shot->error))
        return false;
    if (shot->shot < 1)
        return check.fail(QStringLiteral("shot"), tr("is missing"));
    for (const QJsonValue &f : files) {
        if (!f.isString() || !isPictureEntry(f.toString()))
            return check.fail(QStringLiteral("files"), tr("names a file outside \"%1\"").arg(QLatin1String(imagesFolder)));
        shot->files.append(f.toString());
    }
    return true;
}

} // namespace

QJsonObject toJson(const Spin &spin)
{
    QJsonObject o;
    o.insert(QStringLiteral("format"), spin.format);
    o.insert(QStringLiteral("program"), spin.program);
    o.insert(QStringLiteral("created"), timeText(spin.created));
    o.insert(QStringLiteral("state"), spin.state);
    if (spin.ended.isValid())
        o.insert(QStringLiteral("ended"), timeText(spin.ended));
    if (!spin.stateText.isEmpty())
        o.insert(QStringLiteral("stateText"), spin.stateText);
    o.insert(QStringLiteral("turntable"), QJsonObject{{QStringLiteral("model"), spin.turntableModel},
                                                      {QStringLiteral("countsPerRevolution"), spin.countsPerRevolution}});
    o.insert(QStringLiteral("camera"), QJsonObject{{QStringLiteral("name"), spin.cameraName},
                                                   {QStringLiteral("kind"), spin.cameraKind}});
    o.insert(QStringLiteral("direction"), spin.direction);
    o.insert(QStringLiteral("speed"), spin.speed);
    o.insert(QStringLiteral("preCaptureDelay"), spin.preCaptureDelay);
    o.insert(QStringLiteral("postCaptureDelay"), spin.postCaptureDelay);
    o.insert(QStringLiteral("manualCapture"), spin.manualCapture);
    o.insert(QStringLiteral("row"), spin.row);
    QJsonArray angles;
    for (double a : spin.plannedAngles)
        angles.append(a);
    o.insert(QStringLiteral("plannedAngles"), angles);
    QJsonArray shots;
    for (const Shot &s : spin.shots) {
        QJsonObject so{{QStringLiteral("shot"), s.shot},
                       {QStringLiteral("angle"), s.angle},
                       {QStringLiteral("time"), timeText(s.time)},
                       {QStringLiteral("files"), QJsonArray::fromStringList(s.files)},
                       {QStringLiteral("outcome"), s.outcome}};
        if (!s.error.isEmpty())
            so.insert(QStringLiteral("error"), s.error);
        shots.append(so);
    }
    o.insert(QStringLiteral("shots"), shots);
    return o;
}

bool fromJson(const QJsonObject &o, Spin *out, QString *error)
{
    Checker check(error);
    Spin spin;
    QJsonObject turntable, camera;
    QJsonArray angles, shots;
    if (!check.integer(o, QStringLiteral("format"), 1, 1000000, &spin.format))
        return false;
    if (spin.format > currentFormat)
        return check.fail(QStringLiteral("format"), tr("is %1: the spin was written by a newer program").arg(spin.format));
    if (!check.string(o, QStringLiteral("program"), &spin.program)
        || !check.time(o, QStringLiteral("created"), &spin.created)
        || !check.string(o, QStringLiteral("state"), &spin.state,
                         {QStringLiteral("running"), QStringLiteral("finished"), QStringLiteral("stopped"),
                          QStringLiteral("failed"), QStringLiteral("disconnected")})
        || !check.time(o, QStringLiteral("ended"), &spin.ended)
        || !check.string(o, QStringLiteral("stateText"), &spin.stateText)
        || !check.object(o, QStringLiteral("turntable"), &turntable)
        || !check.string(turntable, QStringLiteral("model"), &spin.turntableModel)
        || !check.integer(turntable, QStringLiteral("countsPerRevolution"), 0, 10000000, &spin.countsPerRevolution)
        || !check.object(o, QStringLiteral("camera"), &camera)
        || !check.string(camera, QStringLiteral("name"), &spin.cameraName)
        || !check.string(camera, QStringLiteral("kind"), &spin.cameraKind,
                         {QStringLiteral("cable"), QStringLiteral("tethered")})
        || !check.string(o, QStringLiteral("direction"), &spin.direction,
                         {QStringLiteral("clockwise"), QStringLiteral("counterclockwise")})
        || !check.integer(o, QStringLiteral("speed"), 0, 100, &spin.speed)
        || !check.number(o, QStringLiteral("preCaptureDelay"), 0.0, 86400.0, false, &spin.preCaptureDelay)
        || !check.number(o, QStringLiteral("postCaptureDelay"), 0.0, 86400.0, false, &spin.postCaptureDelay)
        || !check.boolean(o, QStringLiteral("manualCapture"), &spin.manualCapture)
        || !check.integer(o, QStringLiteral("row"), 0, 99, &spin.row)
        || !check.array(o, QStringLiteral("plannedAngles"), maxShots, &angles)
        || !check.array(o, QStringLiteral("shots"), maxShots, &shots))
        return false;
    for (const QJsonValue &a : angles) {
        const double d = a.toDouble(-1.0);
        if (!a.isDouble() || !(d >= 0.0 && d < 360.0))
            return check.fail(QStringLiteral("plannedAngles"), tr("holds a value that is not an angle from 0 to 360"));
        spin.plannedAngles.append(d);
    }
    for (const QJsonValue &s : shots) {
        Shot shot;
        if (!shotFromJson(s, &shot, check))
            return false;
        spin.shots.append(shot);
    }
    *out = spin;
    return true;
}

bool read(const QString &folder, Spin *spin, QString *error)
{
    const QString path = QDir(folder).filePath(QLatin1String(fileName));
    QJsonObject object;
    QString problem;
    switch (SettingsFile::readObject(path, maxFileSize, &object, &problem)) {
    case SettingsFile::ReadResult::Missing:
        *error = tr("\"%1\" holds no \"%2\": it is not a spin folder").arg(QDir::toNativeSeparators(folder), QLatin1String(fileName));
        return false;
    case SettingsFile::ReadResult::Unusable:
        *error = tr("\"%1\" cannot be read: %2").arg(QDir::toNativeSeparators(path), problem);
        return false;
    case SettingsFile::ReadResult::Loaded:
        break;
    }
    if (!fromJson(object, spin, &problem)) {
        *error = tr("\"%1\" cannot be used: %2").arg(QDir::toNativeSeparators(path), problem);
        return false;
    }
    return true;
}

bool write(const QString &folder, const Spin &spin, QString *error)
{
    const QString path = QDir(folder).filePath(QLatin1String(fileName));
    QString problem;
    if (SettingsFile::writeObject(path, toJson(spin), &problem))
        return true;
    if (error)
        *error = tr("\"%1\" cannot be written: %2").arg(QDir::toNativeSeparators(path), problem);
    return false;
}

QString pictureStem(int shot, double angle, int shotCount)
{
    const int width = qMax(2, int(QString::number(qMax(shotCount, shot)).size()));
    return QStringLiteral("%1_%2").arg(shot, width, 10, QLatin1Char('0')).arg(angle, 0, 'f', 1);
}

QString folderNameFor(const QDateTime &start)
{
    return start.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
}

namespace {

// Qt's directory calls give no reason; the nearest part of the path that exists tells it.
QString whyNoFolder(const QString &path)
{
    QFileInfo part(QDir::cleanPath(QDir(path).absolutePath()));
    while (!part.exists() && !part.isRoot() && part.absoluteFilePath() != part.absolutePath())
        part.setFile(part.absolutePath());
    const QString shown = QDir::toNativeSeparators(part.absoluteFilePath());
    if (!part.exists())
        return tr("no part of the path exists");
    if (!part.isDir())
        return tr("\"%1\" is a file, not a folder").arg(shown);
    if (!part.isWritable())
        return tr("there is no permission to write in \"%1\"").arg(shown);
    return tr("the file system refused it (full, or read-only)");
}

} // namespace

QString makeSpinFolder(const QString &root, const QDateTime &start, QString *error)
{
    QDir rootDir(root);
    if (root.isEmpty() || !rootDir.mkpath(QStringLiteral("."))) {
        *error = tr("The folder \"%1\" cannot be created: %2.").arg(QDir::toNativeSeparators(root), whyNoFolder(root));
        return QString();
    }
    const QString base = folderNameFor(start);
    for (int n = 1; n < 1000; ++n) {
        const QString name = n == 1 ? base : QStringLiteral("%1-%2").arg(base).arg(n);
        // mkdir fails on an existing folder, so two spins never share one.
        if (rootDir.mkdir(name)) {
            const QString folder = rootDir.filePath(name);
            if (!QDir(folder).mkdir(QLatin1String(imagesFolder))) {
                *error = tr("The folder \"%1\" cannot be created: %2.")
                             .arg(QDir::toNativeSeparators(QDir(folder).filePath(QLatin1String(imagesFolder))),
                                  whyNoFolder(folder));
                return QString();
            }
            return folder;
        }
        if (!rootDir.exists(name))
            break;
    }
    *error = tr("No new spin folder can be made in \"%1\": %2.").arg(QDir::toNativeSeparators(root), whyNoFolder(root));
    return QString();
}

} // namespace SpinManifest
