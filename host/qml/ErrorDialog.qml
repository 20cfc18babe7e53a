import QtQuick 2.11
import QtQuick.Controls 2.4

Dialog {
    id: thisDialog

    property string errorText

    x: parent ? (parent.width - width) / 2 : 0
    y: parent ? (parent.height - height) / 2 : 0
    modal: true
    focus: true
    // A button box of our own rather than standardButtons: Qt 5.15 keeps about 20 KiB of every
    // dialog's standard buttons alive after the dialog is destroyed, and one opens after every spin.
    footer: DialogButtonBox {
        Button {
            objectName: "okButton"
            text: qsTr("OK")
            DialogButtonBox.buttonRole: DialogButtonBox.AcceptRole
        }
    }
    closePolicy: Popup.CloseOnEscape

    Label {
        id: textLabel
        objectName: "textLabel"
        width: parent.width
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.Wrap
        text: thisDialog.errorText
        onLinkActivated: Qt.openUrlExternally(link)
    }

    // A message with a link (the update notice) gets room to show it on one line.
    onAboutToShow: {
        if (parent && textLabel.text.indexOf("href=") !== -1) {
            width = parent.width / 2
            x = (parent.width - width) / 2
        }
    }

    onClosed: destroy(0xff)
}
