import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Dialogs 1.3
import QtQuick.Layouts 1.11

// Where the spins go, and during a spin its shots: the last picture, "n of N", and the Next of
// manual capture. Shows what the controller tells it; the user's requests go out as signals.
RowLayout {
    id: bar

    // The window's smallest size is taken from the page before any spin, so a spin's controls
    // take the place of the folder's and are no taller than the row.

    // From Start until the page is reset.
    property bool spinRunning: false
    property bool waitingForNext: false
    property string picturesFolder
    property int shotsTaken: 0
    property int shotsPlanned: 0
    property url lastPicture

    signal nextShotRequested()
    signal picturesFolderChosen(url folder)

    function reset() {
        waitingForNext = false
        shotsTaken = 0
        shotsPlanned = 0
        lastPicture = ""
    }

    function requestNext() {
        if (waitingForNext)
            bar.nextShotRequested()
    }

    Label {
        text: qsTr("Pictures:")
        visible: !bar.spinRunning
    }
    Label {
        objectName: "picturesFolderLabel"
        visible: !bar.spinRunning
        Layout.fillWidth: true
        // A long path must not widen the window: it is cut in the middle instead.
        Layout.preferredWidth: 110
        Layout.minimumWidth: 40
        elide: Text.ElideMiddle
        text: bar.picturesFolder
        ToolTip.visible: folderHover.containsMouse && truncated
        ToolTip.text: bar.picturesFolder
        MouseArea {
            id: folderHover
            anchors.fill: parent
            hoverEnabled: true
            acceptedButtons: Qt.NoButton
        }
    }
    Button {
        objectName: "changePicturesFolderButton"
        text: qsTr("Change…")
        // A spin keeps the folder it began in.
        enabled: !bar.spinRunning
        visible: !bar.spinRunning
        onClicked: folderDialogLoader.active = true
    }

    Image {
        objectName: "lastPictureImage"
        visible: bar.spinRunning
        source: bar.lastPicture
        // A camera's picture is large: it is read scaled down, off the GUI thread.
        asynchronous: true
        sourceSize: Qt.size(48, 32)
        fillMode: Image.PreserveAspectFit
        Layout.preferredWidth: 48
        Layout.preferredHeight: 32
    }
    Label {
        objectName: "shotsLabel"
        visible: bar.spinRunning && bar.shotsPlanned > 0
        text: qsTr("%1 of %2").arg(bar.shotsTaken).arg(bar.shotsPlanned)
    }
    Button {
        objectName: "nextButton"
        text: qsTr("Next")
        visible: bar.spinRunning && bar.waitingForNext
        highlighted: true
        ToolTip.visible: hovered
        ToolTip.text: qsTr("Picture taken: turn on to the next angle (space bar)")
        onClicked: bar.requestNext()
    }
    Shortcut {
        sequence: "Space"
        enabled: bar.spinRunning && bar.waitingForNext
        onActivated: bar.requestNext()
    }

    // Made only when asked for: the dialog's module is heavy and most runs never open it.
    Loader {
        id: folderDialogLoader
        active: false
        sourceComponent: FileDialog {
            title: qsTr("Folder for the spins' pictures")
            selectFolder: true
            folder: bar.picturesFolder !== "" ? "file://" + bar.picturesFolder : shortcuts.pictures
            Component.onCompleted: open()
            onAccepted: {
                bar.picturesFolderChosen(fileUrl)
                folderDialogLoader.active = false
            }
            onRejected: folderDialogLoader.active = false
        }
    }
}
