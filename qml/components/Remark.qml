import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// A remark under a document's name that wraps to as many lines as it needs; shown only when
// there is something to say.
Label {
    textFormat: Text.PlainText
    Layout.fillWidth: true
    visible: text !== ""
    wrapMode: Text.Wrap
}
