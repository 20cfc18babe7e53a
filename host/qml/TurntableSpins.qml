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

    // The longest delay offered, in seconds: one day.
    readonly property real maxDelay: 86400
    // The largest image count this table can stop at distinctly, set by the model.
    property int imagesCountTop: 360
    // Set by the model when it does not add an angle; empty for the usual "greater" rule.
    property string angleRefusal

    // Both separators are taken, so a value typed under a decimal-comma locale is not cut short.
    function decimalValue(text) {
        var value = DecimalText.parse(text, Qt.locale())
        return isFinite(value) ? value : 0
    }

    // Two decimals in the user's notation, as the fields show their values.
    function decimalText(value) {
        return Number(value).toFixed(2).replace(".", Qt.locale().decimalPoint)
    }

    function validModeIndex(mode) {
        var index = Number(mode)
        return (Math.floor(index) === index && index >= 0 && index < shootingModeCombo.count) ? index : 0
    }

    // A delay field keeps the value it shows: a text it cannot take is refused with the range
    // and the field goes back to its value.
    function commitDelay(field) {
        var written = field.text.trim()
        var value = written.length === 0 ? 0 : DecimalText.parse(written, Qt.locale())
        if (value >= 0 && value <= maxDelay)
            field.value = Math.round(value * 100) / 100
        else
            showMessage(qsTr("Enter a delay from 0 to %1 seconds.").arg(maxDelay), field)
        field.text = decimalText(field.value)
    }

    function setDelay(field, value) {
        var seconds = Number(value)
        field.value = isFinite(seconds) ? Math.min(maxDelay, Math.max(0, Math.round(seconds * 100) / 100)) : 0
        field.text = decimalText(field.value)
    }

    function saveSettings() {
        commitDelay(preDelayField)
        commitDelay(postDelayField)
        return {
            "shootingMode": shootingModeCombo.currentIndex,
            "clockwise": clockwiseButton.checked,
            "preCaptureDelay": preDelayField.value,
            "postCaptureDelay": postDelayField.value,
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
            setDelay(preDelayField, settings.preCaptureDelay)
        if (typeof settings.postCaptureDelay === "number")
            setDelay(postDelayField, settings.postCaptureDelay)
        if (settings.isManualCapture)
            manualButton.checked = true
        else
            autoButton.checked = true
        if (settings.videoDegrees !== undefined)
            degreesField.text = Math.min(360, Math.max(1, decimalValue(settings.videoDegrees))).toFixed(2)
        showImagesCount()
    }

    function setTurntableStepsPerRevolution(stepsPerRevolution) {
        imagesCountTop = Math.max(2, stepsPerRevolution)
    }

    // A file saved while the video mode existed may name it; such a mode opens as the first one.
    function removeVideoMode() {
        var index = shootingModeCombo.currentIndex
        shootingModeCombo.model = shootingModes.slice(0, 2)
        shootingModeCombo.currentIndex = (index >= 0 && index < 2) ? index : 0
    }

    function showMessage(message, near) {
        messageToolTip.parent = near ? near : imagesCountCombo
        messageToolTip.text = message
        messageToolTip.open()
    }

    // The field shows the count the list was built from, whatever was typed or picked before.
    function showImagesCount() {
        var shown = String(angleView.count)
        imagesCountCombo.currentIndex = imagesCountCombo.find(shown)
        imagesCountCombo.editText = shown
    }

    function chooseImagesCount(text) {
        var written = String(text).trim()
        var count = /^[0-9]{1,9}$/.test(written) ? Number(written) : NaN
        if (count >= 2 && count <= imagesCountTop) {
            mainPane.fixedImagesCountChanged(count)
        } else if (count > imagesCountTop && imagesCountTop < 36000) {
            showMessage(qsTr("This turntable stops at %1 positions a turn: enter a whole number of images from 2 to %1.")
                        .arg(imagesCountTop))
        } else {
            showMessage(qsTr("Enter a whole number of images from 2 to %1.").arg(imagesCountTop))
        }
        showImagesCount()
    }

    function addCustomAngle() {
        var value = DecimalText.parse(angleField.text, Qt.locale())
        if (!(value >= 0 && value <= 360)) {
            showMessage(qsTr("Enter an angle from 0 to 360 degrees."), angleField)
            // The next key replaces the refused text instead of adding to it.
            angleField.selectAll()
            return
        }
        var countBefore = angleView.count > 0 ? angleView.count : -1
        mainPane.angleRefusal = ""
        mainPane.customAngleAdded((Math.round(value * 100) / 100).toFixed(2))
        anglePopup.close()
        angleField.text = ""
        if (angleView.count === countBefore)
            showMessage(angleRefusal.length > 0 ? angleRefusal
                                                : qsTr("The value entered must be greater than the last angle in the list"))
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
        // Fills the pane, so that a larger window gives the angle list the room.
        anchors.fill: parent
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
                    mainPane.showImagesCount()
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
                // No validator: a text it would swallow silently is refused with a reason instead.
                selectTextByMouse: true
                inputMethodHints: Qt.ImhNone
                onAccepted: mainPane.chooseImagesCount(editText)
                onActivated: mainPane.chooseImagesCount(textAt(index))
                onActiveFocusChanged: {
                    if (!activeFocus && enabled && editText !== String(angleView.count))
                        mainPane.chooseImagesCount(editText)
                }
            }
            ToolButton {
                id: addAngleButton
                objectName: "addAngleButton"
                visible: mainPane.customMode
                // A coloured icon does not grey out by itself.
                opacity: enabled ? 1.0 : 0.4
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
                    // Each opening starts empty: a refused or abandoned text is not added to.
                    onAboutToShow: angleField.text = ""

                    TextField {
                        id: angleField
                        objectName: "angleField"
                        width: addAngleButton.width + clearAnglesButton.width
                        selectByMouse: true
                        maximumLength: 24
                        onAccepted: mainPane.addCustomAngle()
                        Keys.onEscapePressed: anglePopup.close()
                    }
                }
            }
            ToolButton {
                id: clearAnglesButton
                objectName: "clearAnglesButton"
                visible: mainPane.customMode
                opacity: enabled ? 1.0 : 0.4
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
            Layout.minimumWidth: shootingModeCombo.width
            Layout.minimumHeight: shootingModeCombo.width / 2
            Layout.fillWidth: true
            Layout.fillHeight: true
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
                        property real value: 1
                        Layout.preferredWidth: imagesCountCombo.width
                        selectByMouse: true
                        maximumLength: 24
                        text: mainPane.decimalText(1)
                        onEditingFinished: mainPane.commitDelay(preDelayField)
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
                        property real value: 1
                        Layout.preferredWidth: imagesCountCombo.width
                        selectByMouse: true
                        maximumLength: 24
                        text: mainPane.decimalText(1)
                        onEditingFinished: mainPane.commitDelay(postDelayField)
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
