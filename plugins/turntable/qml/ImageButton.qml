import QtQuick 2.15
import QtQuick.Controls 2.15

Button {
    id: imageButton

    property url imageSource
    property int buttonsSize: 32

    implicitWidth: buttonsSize + 4
    implicitHeight: buttonsSize + 4
    padding: 2

    contentItem: Item {
        Image {
            anchors.centerIn: parent
            width: imageButton.buttonsSize
            height: imageButton.buttonsSize
            sourceSize.width: imageButton.buttonsSize
            sourceSize.height: imageButton.buttonsSize
            fillMode: Image.PreserveAspectFit
            smooth: true
            source: imageButton.imageSource
            opacity: imageButton.enabled ? 1.0 : 0.35
        }
    }
}
