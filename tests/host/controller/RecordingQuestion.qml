import QtQuick 2.11

// Stands in for the question dialog: hands the question to the test's recorder, with itself in
// place of the parent, so that the test can answer it.
QtObject {
    id: question
    property Item parent
    property string title
    property string questionText
    property string yesText
    property string noText
    property bool escapeAnswers: true
    signal answered(bool yes)

    function open() { MessageRecorder.record(title, questionText, question) }
}
