import QtQuick 2.11
import QtQuick.Controls 2.5
import QtQuick.Layouts 1.11
import Spinwright.Viewer 1.0

// The exports the loaded tools offer, with each tool's own options, into a folder the user
// picks. The export runs off the GUI thread; its outcome is shown here.
Dialog {
    id: exportDialog

    property SpinViewer viewer
    property SpinToolsHost tools
    // The viewer window, which asks for folders.
    property var folderChooser
    readonly property var exports: tools ? tools.exportTools() : []
    readonly property var chosen: exports.length > 0 ? exports[Math.max(0, toolList.currentIndex)] : null
    // Values by option key of the chosen tool, as the fields hold them.
    property var values: ({})
    property bool started: false

    title: qsTr("Export the spin")
    modal: true
    anchors.centerIn: parent
    width: Math.min(parent ? parent.width - 40 : 560, 560)
    closePolicy: tools && tools.busy ? Popup.NoAutoClose : Popup.CloseOnEscape

    function label(key) {
        var names = {
            "width": qsTr("Width (pixels)"),
            "zoomWidth": qsTr("Zoom width (pixels, 0: none)"),
            "quality": qsTr("Quality"),
            "frameTime": qsTr("Frame time (ms)"),
            "autoplay": qsTr("Play once when opened"),
            "reverse": qsTr("Reverse direction"),
            "columns": qsTr("Columns")
        }
        return names[key] !== undefined ? names[key] : key
    }

    // Size first, then timing and quality, then the switches; a third party's keys after them.
    function orderedKeys(options) {
        var order = ["width", "zoomWidth", "columns", "frameTime", "quality", "autoplay", "reverse"]
        return Object.keys(options).sort(function (a, b) {
            var i = order.indexOf(a), j = order.indexOf(b)
            i = i < 0 ? order.length : i
            j = j < 0 ? order.length : j
            return i !== j ? i - j : (a < b ? -1 : a > b ? 1 : 0)
        })
    }

    function run() {
        resultLabel.text = ""
        started = tools.runExport(chosen.id, viewer.folders, targetField.text, values)
        if (!started)
            resultLabel.text = qsTr("Another export or import is still running.")
    }

    onChosenChanged: values = ({})

    Connections {
        target: exportDialog.tools
        function onFinished(ok, text, result) {
            if (!exportDialog.started)
                return
            exportDialog.started = false
            resultLabel.color = ok ? palette.windowText : "#c03030"
            resultLabel.text = text
        }
    }

    ColumnLayout {
        width: parent.width
        enabled: !(tools && tools.busy)

        ComboBox {
            id: toolList
            objectName: "exportToolList"
            Layout.fillWidth: true
            model: exportDialog.exports
            textRole: "title"
        }
        GridLayout {
            columns: 2
            Layout.fillWidth: true
            Repeater {
                model: exportDialog.chosen ? exportDialog.orderedKeys(exportDialog.chosen.options) : []
                delegate: Label {
                    Layout.row: index
                    Layout.column: 0
                    text: exportDialog.label(modelData)
                }
            }
            Repeater {
                model: exportDialog.chosen ? exportDialog.orderedKeys(exportDialog.chosen.options) : []
                delegate: Loader {
                    id: field
                    Layout.row: index
                    Layout.column: 1
                    readonly property string key: modelData
                    readonly property var option: exportDialog.chosen.options[modelData]
                    sourceComponent: typeof option.value === "boolean" ? flagField : numberField
                    Component {
                        id: numberField
                        SpinBox {
                            objectName: "option_" + field.key
                            editable: true
                            from: field.option.min
                            to: field.option.max
                            value: field.option.value
                            onValueModified: exportDialog.values[field.key] = value
                        }
                    }
                    Component {
                        id: flagField
                        CheckBox {
                            objectName: "option_" + field.key
                            checked: field.option.value
                            onToggled: exportDialog.values[field.key] = checked
                        }
                    }
                }
            }
        }
        RowLayout {
            Layout.fillWidth: true
            TextField {
                id: targetField
                objectName: "targetField"
                Layout.fillWidth: true
                placeholderText: qsTr("Folder to export into")
                selectByMouse: true
            }
            Button {
                text: qsTr("Choose…")
                onClicked: folderChooser.chooseFolder(qsTr("Export into folder"), function (url) {
                    targetField.text = decodeURIComponent(url.replace(/^file:\/\//, ""))
                })
            }
        }
    }

    footer: DialogButtonBox {
        Button {
            objectName: "runExportButton"
            text: qsTr("Export")
            enabled: exportDialog.chosen !== null && targetField.text.length > 0 && !(tools && tools.busy)
            onClicked: exportDialog.run()
        }
        Button {
            text: tools && tools.busy ? qsTr("Cancel") : qsTr("Close")
            onClicked: {
                if (tools && tools.busy)
                    tools.cancel()
                else
                    exportDialog.close()
            }
        }
    }

    // Below the fields: busy indicator while running, the outcome afterwards.
    header: ColumnLayout {
        Label {
            text: exportDialog.title
            font.bold: true
            padding: 12
        }
        RowLayout {
            visible: tools !== null && tools.busy
            Layout.leftMargin: 12
            BusyIndicator {
                running: parent.visible
                Layout.preferredHeight: 32
                Layout.preferredWidth: 32
            }
            Label {
                text: qsTr("Exporting: %1 frames done").arg(tools ? tools.progress : 0)
            }
        }
        Label {
            id: resultLabel
            objectName: "exportResultLabel"
            Layout.fillWidth: true
            Layout.leftMargin: 12
            Layout.rightMargin: 12
            wrapMode: Text.Wrap
            visible: text.length > 0
        }
    }
}
