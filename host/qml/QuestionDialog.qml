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

    // Bound once the dialog has its size: a binding on its own width would loop.
    anchors.centerIn: parent
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
            objectName: "yesButton"
            text: questionDialog.yesText
            DialogButtonBox.buttonRole: DialogButtonBox.AcceptRole
            onClicked: questionDialog.answer(true)
        }
        Button {
            objectName: "noButton"
            text: questionDialog.noText
            DialogButtonBox.buttonRole: DialogButtonBox.RejectRole
            onClicked: questionDialog.answer(false)
        }
    }

    Label {
        objectName: "questionLabel"
        width: Math.min(implicitWidth, questionDialog.parent ? questionDialog.parent.width * 0.8 : implicitWidth)
        wrapMode: Text.Wrap
        text: questionDialog.questionText
    }

    // Not when its page is going away and the script's scope with it.
    onClosed: {
        if (typeof answer === "function" && escapeAnswers)
            answer(false)
    }
}
