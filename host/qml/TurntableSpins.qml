import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Layouts 1.11
import "DecimalText.js" as DecimalText

Pane {
    id: mainPane

    signal fixedImagesCountChanged(int imagesCount)
    signal customAngleAdded(string customAngle)

    readonly property bool videoMode: shootingModeCombo.currentIndex === 2
    readonly property bool customMode: shootingModeCombo.currentIndex === 1
    property var shootingModes: [qsTr("360 Photography"), qsTr("Custom Defined"), qsTr("Video Mode")]

    // Both separators are taken, so a value typed under a decimal-comma locale is not cut short.
    function decimalValue(text) {
        var value = DecimalText.parse(text)
        return isFinite(value) ? value : 0
    }

    function validModeIndex(mode) {
        var index = Number(mode)
        return (Math.floor(index) === index && index >= 0 && index < shootingModeCombo.count) ? index : 0
    }

    function saveSettings() {
        return {
            "shootingMode": shootingModeCombo.currentIndex,
            "clockwise": clockwiseButton.checked,
            "preCaptureDelay": preDelayField.text.length > 0 ? decimalValue(preDelayField.text) : 0,
            "postCaptureDelay": postDelayField.text.length > 0 ? decimalValue(postDelayField.text) : 0,
            "isManualCapture": manualButton.checked,
            "videoDegrees": degreesField.text.length > 0 ? decimalValue(degreesField.text) : 0
        }
    }

    // A key that is absent keeps the control's present value; numbers out of range are brought back in.
    function loadSettings(settings) {
        if (settings.shootingMode !== undefined)
            shootingModeCombo.currentIndex = validModeIndex(settings.shootingMode)
        if (settings.clockwise !== undefined && !settings.clockwise)
            counterclockwiseButton.checked = true
        if (typeof settings.preCaptureDelay === "number")
            preDelayField.text = Math.max(0, decimalValue(settings.preCaptureDelay)).toFixed(2)
        if (typeof settings.postCaptureDelay === "number")
            postDelayField.text = Math.max(0, decimalValue(settings.postCaptureDelay)).toFixed(2)
        if (settings.isManualCapture)
            manualButton.checked = true
        else
            autoButton.checked = true
        if (settings.videoDegrees !== undefined)
            degreesField.text = Math.min(360, Math.max(1, decimalValue(settings.videoDegrees))).toFixed(2)
        imagesCountCombo.editText = String(angleView.count)
    }

    function setTurntableStepsPerRevolution(stepsPerRevolution) {
        imagesCountValidator.top = stepsPerRevolution
    }

    // A file saved while the video mode existed may name it; such a mode opens as the first one.
    function removeVideoMode() {
        var index = shootingModeCombo.currentIndex
        shootingModeCombo.model = shootingModes.slice(0, 2)
        shootingModeCombo.currentIndex = (index >= 0 && index < 2) ? index : 0
    }

    function showMessage(message) {
        messageToolTip.text = message
        messageToolTip.open()
    }

    function addCustomAngle() {
        var countBefore = angleView.count > 0 ? angleView.count : -1
        mainPane.customAngleAdded(angleField.text)
        anglePopup.close()
        angleField.text = ""
        if (angleView.count === countBefore)
            showMessage(qsTr("The value entered must be greater than the last angle in the list"))
        else
            imagesCountCombo.editText = String(angleView.count)
    }

    TextMetrics {
        id: modeTextMetrics
        font: shootingModeCombo.font
        text: qsTr("360 Photography")
    }

    ButtonGroup {
        id: captureGroup
        buttons: [manualButton, autoButton]
    }

    ToolTip {
        id: messageToolTip
        objectName: "messageToolTip"
        parent: imagesCountCombo
        timeout: 1250
    }

    GridLayout {
        columns: 2
        rowSpacing: 8

        Label {
            Layout.row: 0
            Layout.column: 0
            text: qsTr("Shooting Mode:")
        }
        ComboBox {
            id: shootingModeCombo
            objectName: "shootingModeCombo"
            Layout.row: 0
            Layout.column: 1
            Layout.preferredWidth: 2 * modeTextMetrics.width
            model: mainPane.shootingModes
            currentIndex: -1
            onCurrentIndexChanged: {
                if (currentIndex === 1)
                    imagesCountCombo.editText = String(angleView.count)
            }
        }

        Label {
            Layout.row: 1
            Layout.column: 0
            text: qsTr("Images Count:")
            visible: !mainPane.videoMode
        }
        RowLayout {
            Layout.row: 1
            Layout.column: 1
            visible: !mainPane.videoMode

            ComboBox {
                id: imagesCountCombo
                objectName: "imagesCountCombo"
                editable: true
                enabled: !mainPane.customMode
                model: ["8", "12", "24", "30", "36", "48", "72", "90", "120", "180", "240", "360"]
                currentIndex: -1
                validator: IntValidator {
                    id: imagesCountValidator
                    bottom: 2
                    top: 360
                }
                selectTextByMouse: true
                inputMethodHints: Qt.ImhNone
                onAccepted: {
                    if (acceptableInput)
                        mainPane.fixedImagesCountChanged(parseInt(editText, 10))
                }
                onActivated: mainPane.fixedImagesCountChanged(parseInt(textAt(index), 10))
            }
            ToolButton {
                id: addAngleButton
                objectName: "addAngleButton"
                visible: mainPane.customMode
                display: AbstractButton.IconOnly
                icon.source: "qrc:///qml/Plus.png"
                onClicked: {
                    anglePopup.open()
                    angleField.forceActiveFocus()
                }

                Popup {
                    id: anglePopup
                    objectName: "anglePopup"
                    y: addAngleButton.height
                    focus: true

                    TextField {
                        id: angleField
                        objectName: "angleField"
                        width: addAngleButton.width + clearAnglesButton.width
                        selectByMouse: true
                        validator: DoubleValidator {
                            bottom: 0.0
                            top: 360
                            decimals: 2
                            notation: DoubleValidator.StandardNotation
                        }
                        onAccepted: mainPane.addCustomAngle()
                    }
                }
            }
            ToolButton {
                id: clearAnglesButton
                objectName: "clearAnglesButton"
                visible: mainPane.customMode
                display: AbstractButton.IconOnly
                icon.source: "qrc:///qml/Delete.png"
                onClicked: {
                    mainPane.customAngleAdded("")
                    imagesCountCombo.editText = "0"
                }
            }
        }

        Label {
            Layout.row: 2
            Layout.column: 0
            Layout.alignment: Qt.AlignTop
            text: qsTr("Shooting Angles:")
            visible: !mainPane.videoMode
        }
        Rectangle {
            Layout.row: 2
            Layout.column: 1
            Layout.preferredWidth: shootingModeCombo.width
            Layout.preferredHeight: shootingModeCombo.width / 2
            color: "transparent"
            border.color: "lightgrey"
            border.width: 1

            GridView {
                id: angleView
                objectName: "angleView"
                anchors.fill: parent
                anchors.margins: 1
                clip: true
                visible: !mainPane.videoMode
                model: ShootingAnglesModel
                cellHeight: modeTextMetrics.height
                cellWidth: 4 * cellHeight
                delegate: Label {
                    text: modelData
                }
                ScrollBar.vertical: ScrollBar {}
            }
        }

        Label {
            Layout.row: 3
            Layout.column: 0
            text: qsTr("Direction:")
        }
        RowLayout {
            Layout.row: 3
            Layout.column: 1

            RadioButton {
                id: clockwiseButton
                objectName: "clockwiseButton"
                text: qsTr("CW")
                checked: true
            }
            RadioButton {
                id: counterclockwiseButton
                objectName: "counterclockwiseButton"
                text: qsTr("CCW")
            }
        }

        Label {
            Layout.row: 4
            Layout.column: 0
            Layout.alignment: Qt.AlignTop
            Layout.topMargin: 8
            text: qsTr("Image Capture:")
            visible: !mainPane.videoMode
        }
        ColumnLayout {
            Layout.row: 4
            Layout.column: 1
            visible: !mainPane.videoMode

            RadioButton {
                id: manualButton
                objectName: "manualButton"
                text: qsTr("Manual")
            }
            GroupBox {
                label: RadioButton {
                    id: autoButton
                    objectName: "autoButton"
                    x: parent.leftPadding
                    text: qsTr("Auto")
                    checked: true
                }

                GridLayout {
                    columns: 3
                    enabled: autoButton.checked

                    Label {
                        text: qsTr(" Pre delay")
                    }
                    TextField {
                        id: preDelayField
                        objectName: "preDelayField"
                        Layout.preferredWidth: imagesCountCombo.width
                        selectByMouse: true
                        validator: DoubleValidator {
                            bottom: 0
                            decimals: 2
                            notation: DoubleValidator.StandardNotation
                        }
                    }
                    Label {
                        text: qsTr("sec")
                    }
                    Label {
                        text: qsTr("Post delay")
                    }
                    TextField {
                        id: postDelayField
                        objectName: "postDelayField"
                        Layout.preferredWidth: imagesCountCombo.width
                        selectByMouse: true
                        validator: DoubleValidator {
                            bottom: 0
                            decimals: 2
                            notation: DoubleValidator.StandardNotation
                        }
                    }
                    Label {
                        text: qsTr("sec")
                    }
                }
            }
        }

        Label {
            Layout.row: 5
            Layout.column: 0
            text: qsTr("Degrees:")
            visible: mainPane.videoMode
        }
        TextField {
            id: degreesField
            objectName: "degreesField"
            Layout.row: 5
            Layout.column: 1
            Layout.preferredWidth: imagesCountCombo.width
            visible: mainPane.videoMode
            text: "360.00"
            selectByMouse: true
            validator: DoubleValidator {
                bottom: 1
                top: 360
                decimals: 2
                notation: DoubleValidator.StandardNotation
            }
        }
    }

    Component.onCompleted: shootingModeCombo.currentIndex = 0
}
