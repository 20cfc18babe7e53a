#include "camerachoice.h"

#include "camerareports.h"
#include "liveviewitem.h"
#include "pagecalls.h"
#include "programsettings.h"
#include "zlcamerahardware.h"

#include <QImage>
#include <QQuickItem>
#include <QTimer>
#include <QVariantMap>

#include <algorithm>
#include <map>

namespace {

// "Canon EOS 90D (USB 001,004)" -> "Canon EOS 90D": a camera plugged in again may come back on
// another port, and is still the camera the user chose.
QString withoutPort(const QString &name)
{
    const int open = name.lastIndexOf(QLatin1String(" ("));
    return open > 0 && name.endsWith(QLatin1Char(')')) ? name.left(open) : name;
}

} // namespace

CameraChoice::CameraChoice(const std::vector<ZLCameraHardware *> &offered, CameraReports *reports,
                           ProgramSettings *settings, QObject *parent)
    : QObject(parent)
    , settings(settings)
    , liveView(new LiveViewItem)
{
    liveView->setParent(this);
    for (ZLCameraHardware *camera : offered) {
        if (camera && std::find(cameras.begin(), cameras.end(), camera) == cameras.end())
            cameras.push_back(camera);
    }
    for (ZLCameraHardware *camera : cameras) {
        if (!camera->cameraQueryB()) {
            cable = camera;
            break;
        }
    }
    chosen = cable ? cable : (cameras.empty() ? nullptr : cameras.front());
    if (!offersChoice())
        return;
    if (cable) {
        entries.push_back({cable, SIZE_MAX, cableName()});
        shown = 0;
    }

    connect(reports, &CameraReports::camerasFound, this, &CameraChoice::camerasFound);
    connect(reports, &CameraReports::openSucceeded, this, &CameraChoice::openSucceeded);
    connect(reports, &CameraReports::disconnected, this, &CameraChoice::disconnected);
    connect(reports, &CameraReports::previewFrame, this, &CameraChoice::previewFrame);
    // After the page is up: a search costs the start-up nothing.
    QTimer::singleShot(0, this, &CameraChoice::searchCameras);
}

CameraChoice::~CameraChoice()
{
    switchLiveViewOff();
    for (ZLCameraHardware *camera : cameras) {
        camera->pluginWillClose();
        delete camera;
    }
}

QString CameraChoice::cableName()
{
    return tr("Shutter-release cable");
}

QStringList CameraChoice::names() const
{
    QStringList list;
    for (const Entry &entry : entries)
        list << entry.name;
    return list;
}

bool CameraChoice::isLiveViewAvailable() const
{
    return chosen && chosen != cable && !openPending && chosen->cameraQueryA();
}

void CameraChoice::setPage(QQuickItem *cameraBar)
{
    page = cameraBar;
    if (!cameraBar)
        return;
    const QMetaObject *meta = cameraBar->metaObject();
    if (meta->indexOfSignal("cameraChosen(int)") >= 0)
        connect(cameraBar, SIGNAL(cameraChosen(int)), this, SLOT(choose(int)));
    if (meta->indexOfSignal("cameraSearchRequested()") >= 0)
        connect(cameraBar, SIGNAL(cameraSearchRequested()), this, SLOT(searchCameras()));
    if (meta->indexOfSignal("liveViewSwitched(bool)") >= 0)
        connect(cameraBar, SIGNAL(liveViewSwitched(bool)), this, SLOT(setLiveView(bool)));
    callPage("setLiveViewItem", QVariant::fromValue<QQuickItem *>(liveView.data()));
    showOnPage();
}

void CameraChoice::setSpinRunning(bool running)
{
    if (running == spinRunning)
        return;
    spinRunning = running;
    if (running) {
        switchLiveViewOff();
    } else if (fallBackAfterSpin) {
        fallBackAfterSpin = false;
        fallBackToCable();
    }
    showOnPage();
}

void CameraChoice::searchCameras()
{
    // A search beside a capture would compete with it for the camera.
    if (!offersChoice() || spinRunning)
        return;
    for (ZLCameraHardware *camera : cameras) {
        if (camera == cable)
            continue;
        if (std::find(searching.begin(), searching.end(), camera) == searching.end())
            searching.push_back(camera);
        camera->searchAvailableCameras();
    }
    showOnPage();
}

void CameraChoice::camerasFound(ZLCameraHardware *camera, const QStringList &found)
{
    if (camera == cable || std::find(cameras.begin(), cameras.end(), camera) == cameras.end())
        return;
    searching.erase(std::remove(searching.begin(), searching.end(), camera), searching.end());

    const Entry before = shown >= 0 ? entries[size_t(shown)] : Entry();
    std::map<ZLCameraHardware *, std::vector<Entry>> byCamera;
    for (const Entry &entry : entries) {
        if (entry.camera != cable && entry.camera != camera)
            byCamera[entry.camera].push_back(entry);
    }
    std::vector<Entry> &listed = byCamera[camera];
    for (int i = 0; i < found.size(); ++i)
        listed.push_back({camera, size_t(i), found[i]});
    // The camera in use stays listed even when its search does not show it (a camera that is
    // open may not be offered again); it goes when it disconnects.
    if (before.camera == camera && std::none_of(listed.begin(), listed.end(), [&](const Entry &e) {
            return e.name == before.name;
        }))
        listed.push_back(before);

    entries.clear();
    if (cable)
        entries.push_back({cable, SIZE_MAX, cableName()});
    for (ZLCameraHardware *object : cameras) {
        const auto it = byCamera.find(object);
        if (it != byCamera.end())
            entries.insert(entries.end(), it->second.begin(), it->second.end());
    }
    shown = -1;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].camera == before.camera && entries[i].name == before.name)
            shown = int(i);
    }
    // An open camera found at another place in the list keeps working; only a later open needs
    // the new index, and the entry has it.

    const int stored = findStoredChoice();
    if (stored >= 0 && stored != shown && !openPending && !spinRunning)
        open(stored);
    else
        showOnPage();
}

int CameraChoice::findStoredChoice() const
{
    const QString wanted = settings ? settings->camera : QString();
    if (wanted.isEmpty())
        return -1;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].name == wanted)
            return int(i);
    }
    const QString model = withoutPort(wanted);
    int match = -1;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].camera == cable || withoutPort(entries[i].name) != model)
            continue;
        // Two of the same model: which one was meant is not known.
        if (match >= 0)
            return -1;
        match = int(i);
    }
    return match;
}

void CameraChoice::choose(int index)
{
    if (spinRunning || index < 0 || size_t(index) >= entries.size()) {
        showOnPage();
        return;
    }
    if (settings)
        settings->camera = entries[size_t(index)].name;
    if (index == shown && (openPending || entries[size_t(index)].camera == chosen)) {
        showOnPage();
        return;
    }
    open(index);
}

void CameraChoice::open(int index)
{
    switchLiveViewOff();
    shown = index;
    const Entry entry = entries[size_t(index)];
    if (entry.camera == cable) {
        openPending = false;
        setChosen(cable);
        showOnPage();
        return;
    }
    // Until the camera answers, the spin keeps the camera it has. The answer names the index
    // asked for, which a search meanwhile may have moved in the list.
    openPending = true;
    pendingCamera = entry.camera;
    pendingIndex = entry.index;
    showOnPage();
    entry.camera->openHardware(entry.index);
}

void CameraChoice::openSucceeded(ZLCameraHardware *camera, qulonglong index)
{
    // An answer to an open the user has since gone away from.
    if (!openPending || camera != pendingCamera || size_t(index) != pendingIndex)
        return;
    openPending = false;
    camera->setCurrentCameraIndex(size_t(index));
    setChosen(camera);
    showOnPage();
}

void CameraChoice::disconnected(ZLCameraHardware *camera, qulonglong index)
{
    const bool opening = openPending && camera == pendingCamera && size_t(index) == pendingIndex;
    const bool inUse = !openPending && camera == chosen && camera != cable;
    if (!opening && !inUse)
        return;
    const QString name = shown >= 0 ? entries[size_t(shown)].name : QString();
    openPending = false;
    // Switched off all the same: a camera keeps the wish across a disconnection and would
    // stream again at its next open, with the switch showing off.
    switchLiveViewOff();
    camera->setCurrentCameraIndex(SIZE_MAX);
    if (spinRunning) {
        // The spin ends on this report and tells the user; the choice follows once it has.
        fallBackAfterSpin = true;
        showOnPage();
        return;
    }
    QString text = camera->lastError();
    if (text.isEmpty())
        text = tr("The camera \"%1\" is not connected.").arg(name);
    if (cable)
        text += QLatin1Char('\n') + tr("Pictures are taken through the shutter-release cable.");
    fallBackToCable();
    emit messageRequested(tr("Camera disconnected"), text);
}

void CameraChoice::previewFrame(ZLCameraHardware *camera, const QImage &frame)
{
    if (liveViewOn && camera == chosen && !openPending && liveView)
        liveView->setFrame(frame);
}

void CameraChoice::setLiveView(bool on)
{
    if (on == liveViewOn) {
        showOnPage();
        return;
    }
    if (!on) {
        switchLiveViewOff();
    } else if (!spinRunning && isLiveViewAvailable()) {
        liveViewOn = true;
        chosen->cameraCommand();
    }
    showOnPage();
}

void CameraChoice::setChosen(ZLCameraHardware *camera)
{
    if (camera == chosen)
        return;
    chosen = camera;
    emit chosenCameraChanged(camera);
}

void CameraChoice::fallBackToCable()
{
    switchLiveViewOff();
    openPending = false;
    shown = cable ? 0 : -1;
    setChosen(cable ? cable : cameras.front());
    showOnPage();
}

void CameraChoice::switchLiveViewOff()
{
    if (liveViewOn) {
        liveViewOn = false;
        // The command switches: this one turns it off.
        if (chosen)
            chosen->cameraCommand();
    }
    if (liveView)
        liveView->clear();
}

void CameraChoice::showOnPage()
{
    if (!page || !offersChoice())
        return;
    QVariantMap state;
    state.insert(QStringLiteral("names"), names());
    state.insert(QStringLiteral("index"), shown);
    state.insert(QStringLiteral("opening"), openPending);
    state.insert(QStringLiteral("searching"), !searching.empty());
    state.insert(QStringLiteral("locked"), spinRunning);
    state.insert(QStringLiteral("liveViewAvailable"), isLiveViewAvailable() && !spinRunning);
    state.insert(QStringLiteral("liveViewOn"), liveViewOn);
    callPage("setCameraState", state);
}

void CameraChoice::callPage(const char *function, const QVariant &argument)
{
    PageCalls::invoke(page, function, argument);
}
