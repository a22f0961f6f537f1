import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// A one-line remark under a document's name; shown only when there is something to say.
Label {
    textFormat: Text.PlainText
    Layout.fillWidth: true
    visible: text !== ""
    font.pixelSize: 11
    elide: Text.ElideRight
}
