import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15

ColumnLayout {
    id: advancedLayout

    property alias advancedTurntableSettingsGroup: advancedTurntableSettingsGroup
    property alias stepsPerRevolutionField: stepsPerRevolutionField
    property alias clockwiseActiveLowButton: clockwiseActiveLowButton
    property alias clockwiseActiveHighButton: clockwiseActiveHighButton
    property alias motorEnableActiveLowButton: motorEnableActiveLowButton
    property alias motorEnableActiveHighButton: motorEnableActiveHighButton
    property alias importMenu: importMenu

    // The bridge; null until the plug-in has published it.
    property QtObject turntableControl: null
    // Names of the standard models, menu position i being model row i + 1.
    property var standardDevicesModel: []
    // What refused input is said in; readable on the panel's dark background.
    property color refusalColor: "#ff9e80"

    GroupBox {
        id: advancedTurntableSettingsGroup
        objectName: "advancedTurntableSettingsGroup"
        title: qsTr("Advanced turntable settings")
        Layout.topMargin: 32
        Layout.alignment: Qt.AlignHCenter

        RowLayout {
            spacing: 8

            ColumnLayout {
                spacing: 5
                Layout.leftMargin: 10
                Layout.alignment: Qt.AlignTop

                Label {
                    text: qsTr("Steps per revolution:")
                }
                TextField {
                    id: stepsPerRevolutionField
                    objectName: "stepsPerRevolutionField"

                    // No validator: one would drop a sign or a digit too many without a word. What
                    // cannot be used stays as typed and is named below, as the spin start refuses it.
                    readonly property string refusal: advancedLayout.turntableControl
                                                      ? advancedLayout.turntableControl.customCountsProblem(text) : ""

                    // The settings file keeps no longer text.
                    maximumLength: 32
                    selectByMouse: true
                    Layout.fillWidth: true
                }
                Label {
                    objectName: "stepsPerRevolutionRefusal"
                    text: stepsPerRevolutionField.refusal
                    visible: text !== "" && stepsPerRevolutionField.enabled
                    color: advancedLayout.refusalColor
                    wrapMode: Text.Wrap
                    // As wide as the column, never widening it: the window does not grow.
                    Layout.fillWidth: true
                    Layout.preferredWidth: 0
                }
                Button {
                    id: importButton
                    objectName: "importButton"
                    text: qsTr("Import setttings ...")
                    onClicked: importMenu.popup(importButton, importButton.pressX, importButton.pressY)
                }
            }

            ColumnLayout {
                spacing: 5
                Layout.alignment: Qt.AlignTop

                Label {
                    text: qsTr("Clockwise signal:")
                }
                RadioButton {
                    id: clockwiseActiveLowButton
                    objectName: "clockwiseActiveLowButton"
                    text: qsTr("Clockwise is active low")
                    checked: true
                }
                RadioButton {
                    id: clockwiseActiveHighButton
                    objectName: "clockwiseActiveHighButton"
                    text: qsTr("Clockwise is active high")
                }
            }

            ColumnLayout {
                spacing: 5
                Layout.alignment: Qt.AlignTop

                Label {
                    text: qsTr("Motor signal:")
                }
                RadioButton {
                    id: motorEnableActiveLowButton
                    objectName: "motorEnableActiveLowButton"
                    text: qsTr("Motor enable is active low")
                    checked: true
                }
                RadioButton {
                    id: motorEnableActiveHighButton
                    objectName: "motorEnableActiveHighButton"
                    text: qsTr("Motor enable is active high ")
                }
            }
        }
    }

    GroupBox {
        title: qsTr("Camera - Shutter Release")
        Layout.alignment: Qt.AlignHCenter
        Layout.fillWidth: true

        Button {
            objectName: "triggerButton"
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Trigger ...")
            onClicked: {
                if (advancedLayout.turntableControl)
                    advancedLayout.turntableControl.triggerShutterRelease()
            }
        }
    }

    Item {
        Layout.fillHeight: true
    }

    Menu {
        id: importMenu
        objectName: "importMenu"

        Instantiator {
            model: advancedLayout.standardDevicesModel
            delegate: MenuItem {
                text: modelData
                onTriggered: {
                    if (advancedLayout.turntableControl)
                        advancedLayout.turntableControl.customTurntableImportStandardSettings(index + 1)
                }
            }
            onObjectAdded: importMenu.insertItem(index, object)
            onObjectRemoved: importMenu.removeItem(object)
        }
    }
}
