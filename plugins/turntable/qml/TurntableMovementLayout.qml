import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15

ColumnLayout {
    id: movementLayout

    property alias rotationSpeedSlider: rotationSpeedSlider
    property alias rampUpDegreesSpinBox: rampUpDegreesSpinBox
    property alias lockTableWhenIdleCheckBox: lockTableWhenIdleCheckBox

    // The bridge; null until the plug-in has published it.
    property QtObject turntableControl: null

    Layout.alignment: Qt.AlignHCenter
    spacing: 8

    GroupBox {
        title: qsTr("Speed:")
        Layout.alignment: Qt.AlignHCenter

        ColumnLayout {
            spacing: 20

            RowLayout {
                Label {
                    text: qsTr("Rotation speed:")
                }
                Slider {
                    id: rotationSpeedSlider
                    objectName: "rotationSpeedSlider"
                    from: 0
                    to: 9
                    stepSize: 1
                    snapMode: Slider.SnapAlways
                    value: 0
                    Layout.fillWidth: true
                    onMoved: {
                        if (movementLayout.turntableControl)
                            movementLayout.turntableControl.setRotationSpeed(value)
                    }
                }
                Label {
                    text: rotationSpeedSlider.value.toFixed(0)
                    Layout.minimumWidth: 16
                }
            }

            RowLayout {
                Label {
                    text: qsTr("Ramp up degrees:")
                }
                SpinBox {
                    id: rampUpDegreesSpinBox
                    objectName: "rampUpDegreesSpinBox"

                    // Hundredths of a degree, shown and typed as degrees with two decimals.
                    readonly property int decimals: 2

                    from: 0
                    to: 360 * 100
                    value: 100
                    stepSize: 100
                    editable: true
                    Layout.fillWidth: true

                    validator: DoubleValidator {
                        bottom: Math.min(rampUpDegreesSpinBox.from, rampUpDegreesSpinBox.to)
                        top: Math.max(rampUpDegreesSpinBox.from, rampUpDegreesSpinBox.to)
                        locale: rampUpDegreesSpinBox.locale.name
                    }

                    textFromValue: function(value, locale) {
                        return Number(value / 100).toLocaleString(locale, 'f', decimals)
                    }

                    valueFromText: function(text, locale) {
                        var degrees = NaN
                        try {
                            degrees = Number.fromLocaleString(locale, text)
                        } catch (error) {
                            return value
                        }
                        return isFinite(degrees) ? Math.round(degrees * 100) : value
                    }

                    onValueModified: {
                        if (movementLayout.turntableControl)
                            movementLayout.turntableControl.setRampUpDegrees(value / 100)
                    }
                }
            }
        }
    }

    CheckBox {
        id: lockTableWhenIdleCheckBox
        objectName: "lockTableWhenIdleCheckBox"
        text: qsTr("Lock table when idle")
        Layout.alignment: Qt.AlignHCenter
        onCheckedChanged: {
            if (movementLayout.turntableControl)
                movementLayout.turntableControl.setLockMotorWhenIdle(checked)
        }
    }
}
