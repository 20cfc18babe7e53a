import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Layouts 1.11
import QtQuick.Window 2.11

Page {
    id: mainPage

    signal turntableDeviceChanged(int index)
    // state: 1 start, 0 pause, -1 stop, 2 back to start, 100 open the driver installer (CHostAppSpinwright::PageSpinRequest)
    signal turntableSpinStateChanged(int state)
    signal applicationWillClose()
    // The user asks to look for turntables again ("Search again", shown while none is found).
    signal turntableRescanRequested()
    // Manual capture: the user has taken the picture (Next, or the space bar).
    signal nextShotRequested()
    signal picturesFolderChosen(url folder)

    function setAppVersion(version) {
        versionLabel.text = version
    }

    function setTurntableSpinsUiItem(item) {
        turntableSpinsUiContainer.contentItem = item
    }

    function setPluginUiItem(item) {
        pluginUiContainer.contentItem = item
    }

    // Setting the index does not raise the combo box's activation, so the page reports it itself.
    // The index is a model row: an identified board's row lies past its one-entry list.
    function syncLastUsedTurntableIndexUI(index) {
        var count = turntableDevicesList.count
        turntableDevicesList.chosenIndex = index >= 0 && index < count ? index : (count === 1 ? 0 : -1)
        turntableDevicesList.showChosen()
        mainPage.turntableDeviceChanged(index)
    }

    // From Start until the controller resets the page: the model must not change under a spin.
    property bool spinRunning: false

    // After a stop the table may stand anywhere in its turn; the controller can take it back.
    function offerReturnToStart(offered) {
        returnButton.visible = offered
    }

    // Shows an entry as the chosen one without reporting it; -1, or a row no entry has, shows none.
    // As above, a row past a one-entry list is that entry.
    function setTurntableListIndex(index) {
        var count = turntableDevicesList.count
        turntableDevicesList.chosenIndex = index >= 0 && index < count ? index : (index >= 0 && count === 1 ? 0 : -1)
        turntableDevicesList.showChosen()
    }

    function resetDefaultUi(isConnected) {
        spinRunning = false
        spinRunBar.reset()
        returnButton.visible = false
        progressBar.visible = false
        progressBar.value = 0
        stateButton.visible = false
        stopButton.enabled = false
        startButton.enabled = isConnected
    }

    function setPicturesFolder(folder) {
        spinRunBar.picturesFolder = folder
    }

    // counts: [shots taken, shots planned]
    function setShotsTaken(counts) {
        spinRunBar.shotsTaken = counts[0]
        spinRunBar.shotsPlanned = counts[1]
    }

    function setLastPicture(url) {
        spinRunBar.lastPicture = url
    }

    function setWaitingForNext(waiting) {
        spinRunBar.waitingForNext = waiting
    }

    function setProgressValue(value) {
        progressBar.value = value
        progressBar.update()
    }

    // Tab follows the page from the top. Qt's chain puts the footer before the header, so the
    // first Tab, with nothing focused yet, starts at the model list rather than at Start.
    focus: true
    Keys.onTabPressed: {
        if (Window.activeFocusItem === mainPage)
            turntableDevicesList.forceActiveFocus(Qt.TabFocusReason)
        else
            event.accepted = false
    }

    // Through the same guard as Exit: a running spin is not ended without a question.
    Shortcut {
        sequence: "Ctrl+Q"
        context: Qt.ApplicationShortcut
        onActivated: mainPage.applicationWillClose()
    }

    header: RowLayout {
        id: header

        GroupBox {
            // Half the header's width, taken from what sets it, since the header's own width follows this.
            Layout.preferredWidth: Math.max(body.implicitWidth, footerRow.implicitWidth) / 2
            title: qsTr("Turntable model:")

            RowLayout {
                width: parent.width

                ComboBox {
                    id: turntableDevicesList
                    objectName: "turntableDevicesList"
                    Layout.fillWidth: true
                    enabled: !mainPage.spinRunning
                    model: TurntableDevicesModel
                    // Nothing is open until a turntable is picked or opened for the user: the list
                    // must not show a model that is not open.
                    currentIndex: -1
                    displayText: currentIndex >= 0 ? currentText
                                                   : count > 0 ? qsTr("No turntable chosen") : qsTr("No turntable found")
                    // The entry chosen by the user or shown for the controller; -1 for none.
                    property int chosenIndex: -1

                    function showChosen() {
                        currentIndex = chosenIndex < count ? chosenIndex : -1
                    }

                    onActivated: {
                        chosenIndex = index
                        mainPage.turntableDeviceChanged(index)
                    }
                    // A new list would have the combo box take its first entry once it has counted
                    // it; what is shown stays what was chosen.
                    onModelChanged: Qt.callLater(showChosen)
                }
                Button {
                    objectName: "rescanButton"
                    text: qsTr("Search again")
                    visible: turntableDevicesList.count === 0
                    onClicked: mainPage.turntableRescanRequested()
                }
            }
        }
        ProgressBar {
            id: progressBar
            objectName: "progressBar"
            Layout.fillWidth: true
            Layout.margins: 1
            value: 0.0
            visible: false
        }
        RoundButton {
            id: stateButton
            objectName: "stateButton"
            checkable: true
            highlighted: enabled
            // Its ring is drawn a little outside its box: keep it off the window's edge.
            Layout.rightMargin: 6
            visible: false
            icon.source: checked ? "qrc:/icons/Play.png" : "qrc:/icons/Stop.png"
            icon.height: progressBar.height - 8
            icon.width: progressBar.height - 8
            ToolTip.visible: hovered
            ToolTip.text: checked ? qsTr("Play") : qsTr("Pause")
            onToggled: mainPage.turntableSpinStateChanged(checked ? 0 : 1)
        }
        // Where the progress was: the header's width does not depend on it, the footer's would.
        Button {
            id: returnButton
            objectName: "returnButton"
            text: qsTr("Back to start")
            visible: false
            Layout.rightMargin: 6
            onClicked: {
                visible = false
                mainPage.turntableSpinStateChanged(2)
            }
        }
        // Any spin folder, in a viewer window of its own. Up here, where the progress shows
        // during a spin, so that it does not widen the window.
        Item {
            Layout.fillWidth: true
            visible: openSpinButton.visible
        }
        Button {
            id: openSpinButton
            objectName: "openSpinButton"
            text: qsTr("Open spin…")
            visible: typeof SpinViewerLauncher !== "undefined" && !progressBar.visible
            Layout.alignment: Qt.AlignBottom
            Layout.rightMargin: 6
            onClicked: SpinViewerLauncher.chooseSpin()
        }
    }

    ColumnLayout {
        id: body
        anchors.fill: parent

        RowLayout {
            Layout.alignment: Qt.AlignHCenter
            Layout.leftMargin: 6
            Layout.rightMargin: 6

            ButtonGroup {
                id: modeButtons
            }
            Image {
                source: "qrc:/icons/Rotate360.png"
                sourceSize: Qt.size(32, 32)
            }
            RadioButton {
                objectName: "spinsPageButton"
                text: qsTr("360 shooting mode")
                checked: true
                ButtonGroup.group: modeButtons
                onToggled: {
                    if (checked)
                        stackLayout.currentIndex = 0
                }
            }
            ToolSeparator {}
            Image {
                source: "qrc:/icons/Options.png"
                sourceSize: Qt.size(32, 32)
            }
            RadioButton {
                objectName: "pluginPageButton"
                text: qsTr("Turntable control")
                ButtonGroup.group: modeButtons
                onToggled: {
                    if (checked)
                        stackLayout.currentIndex = 1
                }
            }
            ToolSeparator {}
            // In this row rather than one of its own: the window must fit small screens.
            SpinRunBar {
                id: spinRunBar
                objectName: "spinRunBar"
                spinRunning: mainPage.spinRunning
                onNextShotRequested: mainPage.nextShotRequested()
                onPicturesFolderChosen: mainPage.picturesFolderChosen(folder)
            }
        }
        MenuSeparator {
            Layout.fillWidth: true
        }
        // Which camera takes the pictures, when there is more than one; filled by the host.
        CameraBar {
            objectName: "cameraBar"
            Layout.fillWidth: true
            enabled: !mainPage.spinRunning
        }
        StackLayout {
            id: stackLayout
            objectName: "stackLayout"
            Layout.fillWidth: true
            Layout.fillHeight: true
            currentIndex: 0

            Control {
                id: turntableSpinsUiContainer
                objectName: "turntableSpinsUiContainer"
            }
            Control {
                id: pluginUiContainer
                objectName: "pluginUiContainer"
            }
        }
    }

    footer: RowLayout {
        id: footerRow
        Button {
            id: startButton
            objectName: "startButton"
            text: qsTr("Start")
            enabled: false
            onPressed: {
                mainPage.spinRunning = true
                returnButton.visible = false
                stateButton.checked = false
                mainPage.turntableSpinStateChanged(1)
                progressBar.visible = true
                stateButton.visible = true
                startButton.enabled = false
                stopButton.enabled = true
            }
        }
        Button {
            id: stopButton
            objectName: "stopButton"
            text: qsTr("Stop")
            enabled: false
            onPressed: mainPage.turntableSpinStateChanged(-1)
        }
        ColumnLayout {
            Layout.fillWidth: true

            Label {
                id: versionLabel
                objectName: "versionLabel"
                Layout.alignment: Qt.AlignHCenter | Qt.AlignVCenter
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
                font.weight: Font.Thin
            }
            Label {
                id: aboutLabel
                objectName: "aboutLabel"
                Layout.alignment: Qt.AlignHCenter
                horizontalAlignment: Text.AlignHCenter
                textFormat: Text.RichText
                text: "<a href=\"https://www.marvolix.example/turntables/\">Install Driver</a>"
                font.weight: Font.Thin
                font.underline: true
                color: palette.link
                linkColor: palette.link
                // The controller starts the local driver installer; the product page is never opened.
                onLinkActivated: mainPage.turntableSpinStateChanged(100)
            }
        }
        Button {
            objectName: "exitButton"
            text: qsTr("Exit")
            onPressed: mainPage.applicationWillClose()
        }
    }
}
