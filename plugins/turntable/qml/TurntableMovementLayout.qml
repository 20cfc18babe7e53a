import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import "DecimalText.js" as DecimalText

ColumnLayout {
    id: movementLayout

    property alias rotationSpeedSlider: rotationSpeedSlider
    property alias rampUpDegreesSpinBox: rampUpDegreesSpinBox
    property alias lockTableWhenIdleCheckBox: lockTableWhenIdleCheckBox

    // The bridge; null until the plug-in has published it.
    property QtObject turntableControl: null
    // What refused input is said in.
    property color refusalColor: "#ff9e80"

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
                    // The text last refused, named below until a usable one is typed.
                    property string refusedText: ""

                    function degreesText(hundredths) {
                        return Number(hundredths / 100).toLocaleString(locale, 'f', decimals)
                    }

                    from: 0
                    to: 360 * 100
                    value: 100
                    stepSize: 100
                    editable: true
                    Layout.fillWidth: true

                    // Lets any text through, so that a refused one is named rather than dropped key by
                    // key; the settings file keeps no longer text.
                    validator: RegularExpressionValidator {
                        regularExpression: /.{0,32}/
                    }

                    textFromValue: function(value, locale) {
                        return Number(value / 100).toLocaleString(locale, 'f', decimals)
                    }

                    // Either decimal separator, then the locale's own notation: what the label
                    // promises. Anything else, or a ramp outside the box's range, keeps the value.
                    valueFromText: function(text, locale) {
                        var hundredths = Math.round(DecimalText.parse(text, locale) * 100)
                        if (!isFinite(hundredths) || hundredths < from || hundredths > to) {
                            refusedText = text
                            // The kept value is shown again, not the refused text.
                            contentItem.text = textFromValue(value, locale)
                            return value
                        }
                        refusedText = ""
                        return hundredths
                    }

                    onValueChanged: refusedText = ""
                    onValueModified: {
                        if (movementLayout.turntableControl)
                            movementLayout.turntableControl.setRampUpDegrees(value / 100)
                    }
                }
            }

            Label {
                objectName: "rampUpDegreesRefusal"
                visible: rampUpDegreesSpinBox.refusedText !== ""
                text: qsTr("\"%1\" cannot be used: ramp up degrees go from %2 to %3.")
                      .arg(rampUpDegreesSpinBox.refusedText)
                      .arg(rampUpDegreesSpinBox.degreesText(rampUpDegreesSpinBox.from))
                      .arg(rampUpDegreesSpinBox.degreesText(rampUpDegreesSpinBox.to))
                color: movementLayout.refusalColor
                wrapMode: Text.Wrap
                // As wide as the column, never widening it: the window does not grow.
                Layout.fillWidth: true
                Layout.preferredWidth: 0
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
