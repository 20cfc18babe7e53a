import QtQuick 2.15

Rectangle {
    color: "#464646"

    Text {
        anchors.centerIn: parent
        color: "white"
        text: "Ready"
    }
}
