import QtQuick 2.11

// Stands in for the message dialog and hands every message to the test's recorder.
QtObject {
    property Item parent
    property string errorText
    property string title

    function open() { MessageRecorder.record(title, errorText, parent) }
}
