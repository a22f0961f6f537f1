import QtQuick
import QtQuick.Controls
import Tessavo

// A short label on a tinted, rounded background. The label is the chip's first child.
Rectangle {
    id: chip

    property string text: ""
    property color textColor: Theme.text

    radius: 6
    implicitWidth: label.implicitWidth + 16
    implicitHeight: label.implicitHeight + 8

    Label {
        id: label

        anchors.centerIn: parent
        text: chip.text
        textFormat: Text.PlainText
        font.pixelSize: 11
        font.weight: Font.Medium
        color: chip.textColor
    }
}
