import QtQuick 2.11
import QtQuick.Controls 2.5

Dialog {
    id: thisDialog

    property string errorText
    // A second button beside OK (the end of a spin offers to show it); none when empty.
    property string actionText
    signal actionChosen()

    // Anchored, not bound: the popup fits itself into the window by its position, which made a
    // binding of x on the width loop.
    anchors.centerIn: parent
    modal: true
    focus: true
    // A button box of our own rather than standardButtons: Qt 5.15 keeps about 20 KiB of every
    // dialog's standard buttons alive after the dialog is destroyed, and one opens after every spin.
    footer: DialogButtonBox {
        id: buttonBox
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

    Component {
        id: actionButtonComponent
        Button {
            objectName: "actionButton"
            text: thisDialog.actionText
            DialogButtonBox.buttonRole: DialogButtonBox.ActionRole
            onClicked: {
                thisDialog.actionChosen()
                thisDialog.close()
            }
        }
    }
    property bool actionButtonAdded: false

    onAboutToShow: {
        // Added when shown rather than hidden: a hidden button still takes its place in the box.
        if (actionText.length > 0 && !actionButtonAdded) {
            buttonBox.insertItem(0, actionButtonComponent.createObject(buttonBox))
            actionButtonAdded = true
        }
        // A message with a link (the update notice) gets room to show it on one line.
        if (parent && textLabel.text.indexOf("href=") !== -1)
            width = parent.width / 2
    }

    // Closed by its page going away, the dialog goes with the page, and the script's scope may
    // already be gone.
    onClosed: {
        if (typeof destroy === "function")
            destroy(0xff)
    }
}
