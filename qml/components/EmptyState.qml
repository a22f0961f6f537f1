import QtQuick
import QtQuick.Controls
import Tessavo

// What an empty list says in its middle; shown only while the list is empty.
Label {
    objectName: "emptyText"
    textFormat: Text.PlainText
    anchors.centerIn: parent
    width: parent ? parent.width * 0.7 : 0
    horizontalAlignment: Text.AlignHCenter
    wrapMode: Text.WordWrap
    color: Theme.muted
    font.pixelSize: 13
}
