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

    // Why a nudge field's text is no angle to nudge by; empty when it is one. An empty field
    // stands for 0, a continuous rotation.
    function angleRefusal(field) {
        var written = field.text.trim()
        if (written === "" || (/^[0-9]+$/.test(written) && Number(written) <= 360))
            return ""
        return qsTr("\"%1\" cannot be used: a nudge turns by whole degrees from 0 to 360.").arg(written)
    }

    function angleOf(field) {
        var degrees = parseInt(field.text, 10)
        return isNaN(degrees) ? 0 : degrees
    }

    // A refused field moves nothing: its text says what is wrong.
    function nudge(field, isCounterclockwise) {
        if (angleRefusal(field) === "")
            startPreview(angleOf(field), isCounterclockwise)
    }

    function startPreview(degrees, isCounterclockwise) {
        if (turntableControl && turntableControl.startRotationPreview(degrees, isCounterclockwise))
            setRotating(true)
    }

    // The first refusal of the two fields, for the panel to show under this row.
    readonly property string refusal: angleRefusal(counterclockwiseAngleField) || angleRefusal(clockwiseAngleField)

    spacing: 1

    Label {
        text: qsTr("Degrees")
    }

    TextField {
        id: counterclockwiseAngleField
        objectName: "counterclockwiseAngleField"
        text: "360"
        // No validator: it would turn "-45" into "45" without a word; refusal names the text.
        maximumLength: 16
        selectByMouse: true
        implicitWidth: 52
    }

    ImageButton {
        id: counterclockwiseNudgeButton
        objectName: "counterclockwiseNudgeButton"
        imageSource: "qrc:/Icons/CCW-Nudge.png"
        onClicked: previewLayout.nudge(counterclockwiseAngleField, true)
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
        onClicked: previewLayout.nudge(clockwiseAngleField, false)
    }

    TextField {
        id: clockwiseAngleField
        objectName: "clockwiseAngleField"
        text: "360"
        horizontalAlignment: TextInput.AlignRight
        // No validator: it would turn "-45" into "45" without a word; refusal names the text.
        maximumLength: 16
        selectByMouse: true
        implicitWidth: 52
    }

    Label {
        text: qsTr("Degrees")
    }
}
