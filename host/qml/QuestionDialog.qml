import QtQuick 2.11
import QtQuick.Controls 2.5

// A question with two answers. answered(true) for the first button, answered(false) for the
// second and, when escapeAnswers is set, for Escape; any other way of closing answers nothing.
Dialog {
    id: questionDialog

    property string questionText
    property string yesText: qsTr("Yes")
    property string noText: qsTr("No")
    property bool escapeAnswers: true
    signal answered(bool yes)

    anchors.centerIn: parent
    // A width of its own: one taken from the wrapped text would depend on itself.
    width: parent ? Math.min(parent.width - 24, Math.max(360, parent.width * 0.6)) : 400
    modal: true
    focus: true
    closePolicy: escapeAnswers ? Popup.CloseOnEscape : Popup.NoAutoClose

    property bool answerGiven: false
    function answer(yes) {
        if (answerGiven)
            return
        answerGiven = true
        close()
        answered(yes)
    }

    footer: DialogButtonBox {
        Button {
            id: yesButton
            objectName: "yesButton"
            focus: true
            text: questionDialog.yesText
            DialogButtonBox.buttonRole: DialogButtonBox.AcceptRole
            onClicked: questionDialog.answer(true)
            // Return answers with the button that has the focus, as Space does.
            Keys.onReturnPressed: questionDialog.answer(true)
            Keys.onEnterPressed: questionDialog.answer(true)
        }
        Button {
            id: noButton
            objectName: "noButton"
            text: questionDialog.noText
            DialogButtonBox.buttonRole: DialogButtonBox.RejectRole
            onClicked: questionDialog.answer(false)
            Keys.onReturnPressed: questionDialog.answer(false)
            Keys.onEnterPressed: questionDialog.answer(false)
        }
    }

    Label {
        objectName: "questionLabel"
        width: parent.width
        wrapMode: Text.Wrap
        text: questionDialog.questionText
    }

    // The keyboard answers at once, and the focus shows where it is.
    onOpened: yesButton.forceActiveFocus(Qt.TabFocusReason)

    // Not when its page is going away and the script's scope with it.
    onClosed: {
        if (typeof answer === "function" && escapeAnswers)
            answer(false)
    }
}
