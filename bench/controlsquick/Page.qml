import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15

// One of each kind of control that the host's window holds when its page is ready: the main
// page and, in its stack, the spin editor and the turntable panel. No logic, no plug-in.
Page {
    header: RowLayout {
        GroupBox {
            title: qsTr("Turntable model:")
            ComboBox {
                model: ["Model A", "Model B"]
            }
        }
        ProgressBar {
            Layout.fillWidth: true
            value: 0.5
            visible: false
        }
        RoundButton {
            checkable: true
            visible: false
            icon.source: "qrc:/controlsquick/Play.png"
            ToolTip.visible: hovered
            ToolTip.text: qsTr("Play")
        }
    }

    ColumnLayout {
        anchors.fill: parent

        RowLayout {
            Layout.alignment: Qt.AlignHCenter
            ButtonGroup {
                id: modes
            }
            Image {
                source: "qrc:/controlsquick/Rotate360.png"
                sourceSize: Qt.size(32, 32)
            }
            RadioButton {
                text: qsTr("First page")
                checked: true
                ButtonGroup.group: modes
            }
            ToolSeparator {}
            Image {
                source: "qrc:/controlsquick/Options.png"
                sourceSize: Qt.size(32, 32)
            }
            RadioButton {
                text: qsTr("Second page")
                ButtonGroup.group: modes
            }
        }
        MenuSeparator {
            Layout.fillWidth: true
        }
        StackLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true

            Pane {
                GridLayout {
                    columns: 4
                    Label { text: qsTr("Mode:") }
                    ComboBox { model: ["One", "Two"] }
                    Label { text: qsTr("Images:") }
                    ComboBox {
                        editable: true
                        model: ["8", "16", "24"]
                        validator: IntValidator { bottom: 1 }
                    }
                    Label { text: qsTr("Delay:") }
                    TextField { text: "0.00" }
                    RadioButton { text: qsTr("Clockwise"); checked: true }
                    RadioButton { text: qsTr("Counterclockwise") }
                    ToolButton { icon.source: "qrc:/controlsquick/Plus.png" }
                    ToolButton { icon.source: "qrc:/controlsquick/Delete.png" }
                    GridView {
                        Layout.columnSpan: 2
                        Layout.preferredWidth: 120
                        Layout.preferredHeight: 40
                        model: 8
                        delegate: Rectangle {
                            width: 30
                            height: 20
                            Text { text: index }
                        }
                    }
                }
                Popup {
                    TextField {}
                }
            }
            Control {
                contentItem: ColumnLayout {
                    TabBar {
                        TabButton { text: qsTr("Movement") }
                        TabButton { text: qsTr("Advanced") }
                    }
                    RowLayout {
                        Slider { from: 0; to: 9 }
                        SpinBox { to: 360 }
                        CheckBox { text: qsTr("Lock") }
                        Button { text: qsTr("Action"); icon.source: "qrc:/controlsquick/Stop.png" }
                    }
                    Menu {
                        MenuItem { text: qsTr("Item") }
                    }
                }
            }
        }
    }

    footer: RowLayout {
        Button { text: qsTr("Start") }
        Button { text: qsTr("Stop"); enabled: false }
        Label {
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            text: "v.0.0.0"
        }
        Button { text: qsTr("Exit") }
    }
}
