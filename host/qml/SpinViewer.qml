import QtQuick 2.11
import QtQuick.Controls 2.5
import QtQuick.Dialogs 1.3
import QtQuick.Layouts 1.11
import QtQuick.Window 2.11
import Spinwright.Viewer 1.0

// One spin (or several rows of one product) turning under the mouse, the wheel, the arrow keys
// and the slider. The launcher sets viewer and tools; tools may be null (no exports offered).
Window {
    id: viewerWindow

    property SpinViewer viewer
    property SpinToolsHost tools
    // Opened from the main page: the folder is asked for first.
    property bool choosing: false
    // Milliseconds a frame is shown while playing.
    property int frameTime: 80

    width: 1000
    height: 760
    minimumWidth: 560
    minimumHeight: 420
    color: "#282828"
    title: viewer ? viewer.title : qsTr("Spin viewer")

    function stepFrames(frames) {
        viewer.step(reverseButton.checked ? -frames : frames)
    }

    Timer {
        id: playTimer
        interval: viewerWindow.frameTime
        repeat: true
        running: playButton.checked && viewer.valid
        onTriggered: viewerWindow.stepFrames(1)
    }

    // Made when needed: every file dialog reads and writes its own settings from the start.
    Component {
        id: folderDialog
        FileDialog {
            signal chosen(string url)
            selectFolder: true
            onAccepted: {
                chosen(fileUrl.toString())
                destroy()
            }
            onRejected: destroy()
        }
    }

    // Asks for a folder; done(url) runs when one is chosen, cancelled() otherwise.
    function chooseFolder(title, done, cancelled) {
        var dialog = folderDialog.createObject(viewerWindow, {"title": title})
        dialog.chosen.connect(done)
        if (cancelled)
            dialog.rejected.connect(cancelled)
        dialog.open()
    }

    function chooseSpin() {
        chooseFolder(qsTr("Open a spin folder"), function (url) { viewer.open(url) }, function () {
            if (!viewer.valid && viewer.error.length === 0)
                viewerWindow.close()
        })
    }

    onVisibleChanged: {
        // Once the window is on screen, so that the dialog opens over it.
        if (visible && choosing) {
            choosing = false
            Qt.callLater(chooseSpin)
        }
    }

    Page {
        anchors.fill: parent
        focus: true

        header: ToolBar {
            RowLayout {
                anchors.fill: parent
                ToolButton {
                    id: playButton
                    objectName: "playButton"
                    text: checked ? qsTr("Stop") : qsTr("Play")
                    checkable: true
                    enabled: viewer.valid
                }
                ToolButton {
                    id: reverseButton
                    objectName: "reverseButton"
                    text: qsTr("Reverse")
                    checkable: true
                    enabled: viewer.valid
                }
                ToolSeparator {}
                ToolButton {
                    objectName: "zoomInButton"
                    text: qsTr("Zoom in")
                    enabled: viewer.valid && frameView.zoom < 8
                    onClicked: frameView.zoomAt(2, Qt.point(frameView.width / 2, frameView.height / 2))
                }
                ToolButton {
                    objectName: "zoomOutButton"
                    text: qsTr("Zoom out")
                    enabled: frameView.zoom > 1
                    onClicked: frameView.zoom = 1
                }
                ToolSeparator {}
                ToolButton {
                    objectName: "openButton"
                    text: qsTr("Open…")
                    onClicked: viewerWindow.chooseSpin()
                }
                ToolButton {
                    objectName: "addRowButton"
                    text: qsTr("Add row…")
                    enabled: viewer.valid
                    onClicked: viewerWindow.chooseFolder(qsTr("Choose a spin of the same product at another height"),
                                                         function (url) { viewer.addRow(url) })
                }
                Item { Layout.fillWidth: true }
                ToolButton {
                    objectName: "exportButton"
                    text: qsTr("Export…")
                    enabled: viewer.valid && tools !== null && !tools.busy
                    onClicked: exportDialog.open()
                }
                ToolButton {
                    objectName: "importButton"
                    text: qsTr("Import from card…")
                    enabled: viewer.valid && tools !== null && !tools.busy
                    onClicked: importDialog.open()
                }
            }
        }

        FocusScope {
            id: turnArea
            objectName: "turnArea"
            anchors.fill: parent
            focus: true

            SpinFrameView {
                id: frameView
                objectName: "spinFrameView"
                anchors.fill: parent
                viewer: viewerWindow.viewer
            }

            MouseArea {
                anchors.fill: parent
                property point start
                property int startFrame
                property int startRow
                cursorShape: frameView.zoom > 1 ? Qt.OpenHandCursor : Qt.SizeHorCursor
                onPressed: {
                    turnArea.forceActiveFocus()
                    start = Qt.point(mouse.x, mouse.y)
                    startFrame = viewer.currentFrame
                    startRow = viewer.currentRow
                }
                onPositionChanged: {
                    if (frameView.zoom > 1) {
                        frameView.panBy(Qt.point(mouse.x - start.x, mouse.y - start.y))
                        start = Qt.point(mouse.x, mouse.y)
                        return
                    }
                    // One drag across the width is one turn; one across the height passes every row.
                    var frames = Math.round((mouse.x - start.x) / (width / Math.max(1, viewer.frameCount)))
                    var rows = Math.round((mouse.y - start.y) / (height / Math.max(1, viewer.rowCount)))
                    if (viewer.rowCount > 1)
                        viewer.currentRow = Math.max(0, Math.min(viewer.rowCount - 1, startRow + rows))
                    var count = viewer.frameCount
                    var next = startFrame + (reverseButton.checked ? -frames : frames)
                    viewer.currentFrame = ((next % count) + count) % count
                }
                onDoubleClicked: {
                    if (frameView.zoom > 1)
                        frameView.zoom = 1
                    else
                        frameView.zoomAt(2, Qt.point(mouse.x, mouse.y))
                }
                onWheel: {
                    if (wheel.modifiers & Qt.ControlModifier)
                        frameView.zoomAt(wheel.angleDelta.y > 0 ? 1.25 : 0.8, Qt.point(wheel.x, wheel.y))
                    else if (wheel.angleDelta.y !== 0 || wheel.angleDelta.x !== 0)
                        viewerWindow.stepFrames((wheel.angleDelta.y || wheel.angleDelta.x) > 0 ? -1 : 1)
                }
            }

            Keys.onPressed: {
                switch (event.key) {
                case Qt.Key_Right: viewerWindow.stepFrames(1); break
                case Qt.Key_Left: viewerWindow.stepFrames(-1); break
                case Qt.Key_Up: viewer.stepRow(-1); break
                case Qt.Key_Down: viewer.stepRow(1); break
                case Qt.Key_Home: viewer.currentFrame = 0; break
                case Qt.Key_Space: playButton.toggle(); break
                case Qt.Key_Plus:
                case Qt.Key_Equal: frameView.zoomAt(2, Qt.point(frameView.width / 2, frameView.height / 2)); break
                case Qt.Key_Minus: frameView.zoomAt(0.5, Qt.point(frameView.width / 2, frameView.height / 2)); break
                case Qt.Key_Escape: frameView.zoom = 1; break
                default: return
                }
                event.accepted = true
            }

            Label {
                anchors.centerIn: parent
                visible: !viewer.valid && viewer.error.length === 0
                color: "white"
                text: qsTr("Open a spin folder to watch it turn.")
            }
            BusyIndicator {
                objectName: "frameBusy"
                anchors.centerIn: parent
                running: viewer.loading
            }
            Label {
                objectName: "readingLabel"
                anchors.top: parent.top
                anchors.horizontalCenter: parent.horizontalCenter
                anchors.margins: 8
                padding: 4
                background: Rectangle { color: "#a0000000"; radius: 3 }
                color: "white"
                readonly property int wanted: Math.min(viewer.pictureCount, viewer.capacity)
                visible: viewer.valid && viewer.readyCount < wanted
                text: qsTr("Reading frames: %1 of %2").arg(viewer.readyCount).arg(wanted)
            }
            Label {
                objectName: "messageLabel"
                anchors.bottom: parent.bottom
                anchors.horizontalCenter: parent.horizontalCenter
                anchors.margins: 8
                width: Math.min(implicitWidth, parent.width - 16)
                wrapMode: Text.Wrap
                padding: 4
                background: Rectangle { color: "#c0602020"; radius: 3 }
                color: "white"
                visible: text.length > 0
                text: viewer.message
            }
        }

        footer: ToolBar {
            RowLayout {
                anchors.fill: parent
                anchors.leftMargin: 8
                anchors.rightMargin: 8
                Slider {
                    id: frameSlider
                    objectName: "frameSlider"
                    Layout.fillWidth: true
                    enabled: viewer.valid && viewer.frameCount > 1
                    from: 0
                    to: Math.max(1, viewer.frameCount - 1)
                    stepSize: 1
                    snapMode: Slider.SnapAlways
                    value: viewer.currentFrame
                    onMoved: viewer.currentFrame = Math.round(value)
                }
                Label {
                    objectName: "captionLabel"
                    text: viewer.caption
                    Layout.minimumWidth: implicitWidth
                }
            }
        }
    }

    SpinExportDialog {
        id: exportDialog
        folderChooser: viewerWindow
        viewer: viewerWindow.viewer
        tools: viewerWindow.tools
    }
    CardImportDialog {
        id: importDialog
        folderChooser: viewerWindow
        viewer: viewerWindow.viewer
        tools: viewerWindow.tools
    }
}
