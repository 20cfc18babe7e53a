import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import "DecimalText.js" as DecimalText

ColumnLayout {
    id: root

    // Published on this item's context by the plug-in, the bridge only after loadSettings has run.
    readonly property QtObject turntableControl:
        typeof MarvolixTurntableQmlControl !== "undefined" ? MarvolixTurntableQmlControl : null
    readonly property var standardDevicesModel:
        typeof MarvolixTurntableStandardDevicesModel !== "undefined" ? MarvolixTurntableStandardDevicesModel : []

    property alias tabBar: tabBar
    property alias turntableMovementLayout: turntableMovementLayout
    property alias turntableRotationPreviewLayout: turntableRotationPreviewLayout
    property alias advancedSettingsTab: advancedSettingsTab

    function loadSettings(settings) {
        if (!settings || typeof settings !== "object")
            return
        var movement = turntableMovementLayout
        if (settings.rotationSpeed !== undefined && isFinite(Number(settings.rotationSpeed)))
            movement.rotationSpeedSlider.value = Number(settings.rotationSpeed)
        if (settings.rampUpDegrees !== undefined) {
            // Two decimals after the separator of the locale the file was written in, which need
            // not be today's: either separator, then the UI locale's own digits.
            var degrees = DecimalText.parse(settings.rampUpDegrees, movement.rampUpDegreesSpinBox.locale)
            if (isFinite(degrees))
                movement.rampUpDegreesSpinBox.value = Math.round(degrees * 100)
        }
        if (settings.isLockTableWhenIdle)
            movement.lockTableWhenIdleCheckBox.checked = true
    }

    function saveSettings(index) {
        var movement = turntableMovementLayout
        var settings = {
            "rotationSpeed": movement.rotationSpeedSlider.value,
            "isLockTableWhenIdle": movement.lockTableWhenIdleCheckBox.checked,
            "rampUpDegrees": movement.rampUpDegreesSpinBox.displayText
        }
        if (index === 0) {
            settings.customTurntableAdvancedSettings = {
                "stepsPerRevolutionText": advancedSettingsTab.stepsPerRevolutionField.text,
                "isClockwiseActiveHigh": advancedSettingsTab.clockwiseActiveHighButton.checked,
                "isMotorEnableActiveHigh": advancedSettingsTab.motorEnableActiveHighButton.checked
            }
        }
        return settings
    }

    function countsText(settings) {
        return settings && settings.stepsPerRevolutionText !== undefined
                ? String(settings.stepsPerRevolutionText) : ""
    }

    function updateDeviceSettingsUI(index, settings) {
        var movement = turntableMovementLayout
        var advanced = advancedSettingsTab
        if (index === -1) {
            turntableRotationPreviewLayout.setRotating(false)
        } else if (index === 0) {
            if (settings === undefined || settings === null)
                return
            advanced.advancedTurntableSettingsGroup.enabled = true
            advanced.stepsPerRevolutionField.text = countsText(settings)
            if (settings.isClockwiseActiveHigh)
                advanced.clockwiseActiveHighButton.checked = true
            else
                advanced.clockwiseActiveLowButton.checked = true
            if (settings.isMotorEnableActiveHigh)
                advanced.motorEnableActiveHighButton.checked = true
            else
                advanced.motorEnableActiveLowButton.checked = true
        } else if (index === 1) {
            movement.lockTableWhenIdleCheckBox.checked = true
            movement.lockTableWhenIdleCheckBox.enabled = false
            movement.rotationSpeedSlider.enabled = false
            movement.rampUpDegreesSpinBox.enabled = false
            advanced.advancedTurntableSettingsGroup.enabled = false
            advanced.stepsPerRevolutionField.text = countsText(settings)
        } else {
            movement.rotationSpeedSlider.enabled = true
            movement.lockTableWhenIdleCheckBox.enabled = true
            movement.rampUpDegreesSpinBox.enabled = true
            movement.lockTableWhenIdleCheckBox.checked = false
            advanced.stepsPerRevolutionField.text = countsText(settings)
            advanced.advancedTurntableSettingsGroup.enabled = false
            advanced.motorEnableActiveHighButton.checked = true
            if (settings && settings.isClockwiseActiveHigh)
                advanced.clockwiseActiveHighButton.checked = true
            else
                advanced.clockwiseActiveLowButton.checked = true
        }
    }

    anchors.fill: parent
    spacing: 0

    TabBar {
        id: tabBar
        objectName: "tabBar"
        Layout.fillWidth: true

        TabButton {
            text: qsTr("Basic settings")
        }
        TabButton {
            text: qsTr("Advanced settings")
        }
    }

    StackLayout {
        currentIndex: tabBar.currentIndex
        Layout.fillWidth: true
        Layout.fillHeight: true

        ColumnLayout {
            spacing: 8
            Layout.fillWidth: true
            Layout.fillHeight: true

            TurntableMovementLayout {
                id: turntableMovementLayout
                turntableControl: root.turntableControl
                Layout.topMargin: 16
            }

            TurntableRotationPreviewLayout {
                id: turntableRotationPreviewLayout
                turntableControl: root.turntableControl
                Layout.alignment: Qt.AlignHCenter
            }

            Label {
                objectName: "nudgeAngleRefusal"
                text: turntableRotationPreviewLayout.refusal
                visible: text !== ""
                color: turntableMovementLayout.refusalColor
                wrapMode: Text.Wrap
                horizontalAlignment: Text.AlignHCenter
                // As wide as the page, never widening it: the window does not grow.
                Layout.fillWidth: true
                Layout.preferredWidth: 0
            }

            Item {
                Layout.fillWidth: true
                Layout.fillHeight: true
            }
        }

        AdvancedSettingsLayout {
            id: advancedSettingsTab
            Layout.fillWidth: true
            Layout.fillHeight: true
            turntableControl: root.turntableControl
            standardDevicesModel: root.standardDevicesModel
        }
    }
}
