import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15

RowLayout {
    id: previewLayout

    property alias counterclockwiseAngleField: counterclockwiseAngleField
    property alias clockwiseAngleField: clockwiseAngleField
    property alias counterclockwiseNudgeButton: counterclockwiseNudgeButton
    property alias counterclockwisePlayButton: counterclockwisePlayButton
    property alias stopButton: stopButton
    property alias clockwisePlayButton: clockwisePlayButton
    property alias clockwiseNudgeButton: clockwiseNudgeButton

    // The bridge; null until the plug-in has published it.
    property QtObject turntableControl: null

    function setRotating(rotating) {
        counterclockwiseNudgeButton.enabled = !rotating
        counterclockwisePlayButton.enabled = !rotating
        clockwisePlayButton.enabled = !rotating
        clockwiseNudgeButton.enabled = !rotating
        stopButton.enabled = rotating
    }

    // An empty or partial field has no number; it arrives as 0, a continuous rotation.
    function angleOf(field) {
        var degrees = parseInt(field.text, 10)
        return isNaN(degrees) ? 0 : degrees
    }

    function startPreview(degrees, isCounterclockwise) {
        if (turntableControl && turntableControl.startRotationPreview(degrees, isCounterclockwise))
            setRotating(true)
    }

    spacing: 1

    Label {
        text: qsTr("Degrees")
    }

    TextField {
        id: counterclockwiseAngleField
        objectName: "counterclockwiseAngleField"
        text: "360"
        validator: IntValidator { bottom: 0; top: 360 }
        selectByMouse: true
        implicitWidth: 52
    }

    ImageButton {
        id: counterclockwiseNudgeButton
        objectName: "counterclockwiseNudgeButton"
        imageSource: "qrc:/Icons/CCW-Nudge.png"
        onClicked: previewLayout.startPreview(previewLayout.angleOf(counterclockwiseAngleField), true)
    }

    ImageButton {
        id: counterclockwisePlayButton
        objectName: "counterclockwisePlayButton"
        imageSource: "qrc:/Icons/CCW-Play.png"
        onClicked: previewLayout.startPreview(0, true)
    }

    ImageButton {
        id: stopButton
        objectName: "stopButton"
        imageSource: "qrc:/Icons/Stop.png"
        enabled: false
        onClicked: {
            if (previewLayout.turntableControl)
                previewLayout.turntableControl.stopRotationPreview()
            previewLayout.setRotating(false)
        }
    }

    ImageButton {
        id: clockwisePlayButton
        objectName: "clockwisePlayButton"
        imageSource: "qrc:/Icons/CW-Play.png"
        onClicked: previewLayout.startPreview(0, false)
    }

    ImageButton {
        id: clockwiseNudgeButton
        objectName: "clockwiseNudgeButton"
        imageSource: "qrc:/Icons/CW-Nudge.png"
        onClicked: previewLayout.startPreview(previewLayout.angleOf(clockwiseAngleField), false)
    }

    TextField {
        id: clockwiseAngleField
        objectName: "clockwiseAngleField"
        text: "360"
        horizontalAlignment: TextInput.AlignRight
        validator: IntValidator { bottom: 0; top: 360 }
        selectByMouse: true
        implicitWidth: 52
    }

    Label {
        text: qsTr("Degrees")
    }
}
