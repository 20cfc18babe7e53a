import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Layouts 1.11
import QtQuick.Window 2.11

// The camera a spin uses, and its live view. Shown only when there is a choice: the host
// (CameraChoice) fills it through setCameraState and hears its signals.
ColumnLayout {
    id: cameraBar

    // index: of the entry the user activated
    signal cameraChosen(int index)
    signal cameraSearchRequested()
    signal liveViewSwitched(bool on)

    // Everything the host shows at once: names (list), index (-1: none), opening, searching,
    // locked (a spin holds the camera), liveViewAvailable, liveViewOn.
    function setCameraState(state) {
        if (JSON.stringify(cameraList.model) !== JSON.stringify(state.names))
            cameraList.model = state.names
        cameraList.currentIndex = state.index
        opening = state.opening
        searching = state.searching
        locked = state.locked
        liveViewSwitch.visible = state.liveViewAvailable || state.liveViewOn
        liveViewSwitch.checked = state.liveViewOn
    }

    function setLiveViewItem(item) {
        liveViewContainer.contentItem = item
    }

    property bool opening: false
    property bool searching: false
    property bool locked: false

    visible: cameraList.count > 0

    RowLayout {
        Layout.fillWidth: true
        Layout.leftMargin: 6
        Layout.rightMargin: 6

        Label {
            text: qsTr("Camera:")
        }
        ComboBox {
            id: cameraList
            objectName: "cameraList"
            Layout.fillWidth: true
            enabled: !cameraBar.locked
            model: []
            displayText: cameraBar.opening ? qsTr("Opening %1…").arg(currentText) : currentText
            onActivated: cameraBar.cameraChosen(index)
        }
        Button {
            objectName: "cameraSearchButton"
            text: cameraBar.searching ? qsTr("Searching…") : qsTr("Search again")
            enabled: !cameraBar.locked
            onClicked: cameraBar.cameraSearchRequested()
        }
        Switch {
            id: liveViewSwitch
            objectName: "liveViewSwitch"
            text: qsTr("Live view")
            visible: false
            enabled: !cameraBar.locked && !cameraBar.opening
            onToggled: cameraBar.liveViewSwitched(checked)
        }
    }
    Control {
        id: liveViewContainer
        objectName: "liveViewContainer"
        Layout.alignment: Qt.AlignHCenter
        visible: liveViewSwitch.checked
        onVisibleChanged: makeRoom()

        // The page is as tall as it has to be only until the window takes its size; from then
        // on the window must grow for the picture, or the spin editor would run into the footer.
        function makeRoom() {
            var window = Window.window
            if (!visible || !window || !page || window.height >= page.implicitHeight)
                return
            window.height = page.implicitHeight
            // Grown downwards past the screen's edge, it moves up as far as it can.
            if (window.y + window.height > Screen.desktopAvailableHeight)
                window.y = Math.max(0, Screen.desktopAvailableHeight - window.height)
        }
    }

    // The page this row sits in; its implicit height counts the picture only once laid out.
    property Item page: null
    Component.onCompleted: {
        var item = cameraBar
        while (item.parent)
            item = item.parent
        page = item
    }
    Connections {
        target: cameraBar.page
        function onImplicitHeightChanged() { liveViewContainer.makeRoom() }
    }
}
