import QtQuick
import QtQuick.Controls
import Tessavo

// Shown while files are dragged over a place that takes them: a frame and what a drop does.
Rectangle {
    color: Qt.rgba(Theme.accentSoft.r, Theme.accentSoft.g, Theme.accentSoft.b, 0.85)
    border.color: Theme.dropHighlight
    border.width: 3
    radius: Theme.radius

    Label {
        anchors.centerIn: parent
        textFormat: Text.PlainText
        text: qsTr("Drop to import")
        color: Theme.accent
        font.pixelSize: 18
        font.weight: Font.DemiBold
    }
}
