import QtQuick 2.11
import QtQuick.Controls 2.5
import QtQuick.Layouts 1.11
import Spinwright.Viewer 1.0

// Brings the pictures of a cable-fired spin in from the camera's card into the shown row's
// spin, and lists what could not be matched. The viewer reads the spin again afterwards.
Dialog {
    id: importDialog

    property SpinViewer viewer
    property SpinToolsHost tools
    // The viewer window, which asks for folders.
    property var folderChooser
    readonly property var imports: tools ? tools.importTools() : []
    property bool started: false

    title: qsTr("Import from card")
    modal: true
    anchors.centerIn: parent
    width: Math.min(parent ? parent.width - 40 : 560, 560)
    closePolicy: tools && tools.busy ? Popup.NoAutoClose : Popup.CloseOnEscape

    Connections {
        target: importDialog.tools
        function onFinished(ok, text, result) {
            if (!importDialog.started)
                return
            importDialog.started = false
            resultArea.color = ok ? palette.windowText : "#c03030"
            resultArea.text = text
            if (ok)
                importDialog.viewer.reload()
        }
    }

    ColumnLayout {
        width: parent.width
        enabled: !(tools && tools.busy)

        Label {
            Layout.fillWidth: true
            wrapMode: Text.Wrap
            text: importDialog.imports.length === 0
                  ? qsTr("No loaded plug-in imports pictures.")
                  : qsTr("Pictures are matched to the shots of \"%1\" by their capture time and copied, never moved.")
                    .arg(viewer && viewer.valid ? viewer.folders[viewer.currentRow] : "")
        }
        ComboBox {
            id: importList
            Layout.fillWidth: true
            visible: importDialog.imports.length > 1
            model: importDialog.imports
            textRole: "title"
        }
        RowLayout {
            Layout.fillWidth: true
            TextField {
                id: cardField
                objectName: "cardField"
                Layout.fillWidth: true
                placeholderText: qsTr("Card folder")
                selectByMouse: true
            }
            Button {
                text: qsTr("Choose…")
                onClicked: folderChooser.chooseFolder(qsTr("The camera card's folder"), function (url) {
                    cardField.text = decodeURIComponent(url.replace(/^file:\/\//, ""))
                })
            }
        }
        RowLayout {
            visible: tools !== null && tools.busy
            BusyIndicator {
                running: parent.visible
                Layout.preferredHeight: 32
                Layout.preferredWidth: 32
            }
            Label {
                text: qsTr("Importing…")
            }
        }
        ScrollView {
            Layout.fillWidth: true
            Layout.preferredHeight: Math.min(resultArea.implicitHeight, 240)
            visible: resultArea.text.length > 0
            TextArea {
                id: resultArea
                objectName: "importResultText"
                readOnly: true
                wrapMode: Text.Wrap
                selectByMouse: true
            }
        }
    }

    footer: DialogButtonBox {
        Button {
            objectName: "runImportButton"
            text: qsTr("Import")
            enabled: importDialog.imports.length > 0 && cardField.text.length > 0 && !(tools && tools.busy)
            onClicked: {
                resultArea.text = ""
                var entry = importDialog.imports[Math.max(0, importList.currentIndex)]
                importDialog.started = tools.runImport(entry.index, cardField.text,
                                                       viewer.folders[viewer.currentRow])
            }
        }
        Button {
            text: qsTr("Close")
            enabled: !(tools && tools.busy)
            onClicked: importDialog.close()
        }
    }
}
