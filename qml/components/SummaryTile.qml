import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo

// One count of the document list, large, with what it counts beneath it.
Card {
    id: tile

    property string label: ""
    property var value

    ColumnLayout {
        anchors.centerIn: parent
        spacing: 2

        Label {
            objectName: "tileValue"
            textFormat: Text.PlainText
            Layout.alignment: Qt.AlignHCenter
            text: tile.value
            color: Theme.text
            font.pixelSize: 20
            font.weight: Font.DemiBold
        }
        Label {
            textFormat: Text.PlainText
            Layout.alignment: Qt.AlignHCenter
            text: tile.label
            color: Theme.muted
            font.pixelSize: 11
        }
    }
}
