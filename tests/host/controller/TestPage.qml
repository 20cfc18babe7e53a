import QtQuick 2.11

// Stands in for the main page: same signals and functions, and it remembers every call.
Item {
    id: page
    width: 800
    height: 600

    signal turntableDeviceChanged(int index)
    signal turntableSpinStateChanged(int state)
    signal applicationWillClose()
    signal turntableRescanRequested()
    signal nextShotRequested()
    signal picturesFolderChosen(url folder)

    property var progressValues: []
    property var resets: []
    property var returnOffers: []
    property var syncedIndices: []
    property var listIndices: []
    property var nextWaits: []
    property var shotsTaken: []
    property var pictures: []
    property string picturesFolder
    property string appVersion
    property Item spinsUiItem: null
    property Item pluginUiItem: null

    function setAppVersion(version) { appVersion = version }
    function setTurntableSpinsUiItem(item) { spinsUiItem = item; item.parent = page }
    function setPluginUiItem(item) { pluginUiItem = item; item.parent = page }
    function syncLastUsedTurntableIndexUI(index) {
        syncedIndices.push(index)
        turntableDeviceChanged(index)
    }
    function setTurntableListIndex(index) { listIndices.push(index) }
    function resetDefaultUi(isConnected) { resets.push(isConnected) }
    function setProgressValue(value) { progressValues.push(value) }
    function offerReturnToStart(offered) { returnOffers.push(offered) }
    function setWaitingForNext(waiting) { nextWaits.push(waiting) }
    function setShotsTaken(counts) { shotsTaken.push(counts[0] + "/" + counts[1]) }
    function setLastPicture(url) { if (url.toString() !== "") pictures.push(url.toString()) }
    function setPicturesFolder(folder) { picturesFolder = folder }
}
