import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo

// A document's state as a small chip; nothing for a document that is ready.
Rectangle {
    id: chip

    property string stateText: ""
    readonly property bool needsOcr: stateText === "Needs OCR"

    visible: stateText !== "Ready"
    radius: 6
    implicitWidth: label.implicitWidth + 16
    implicitHeight: label.implicitHeight + 8
    color: needsOcr ? Theme.warningSoft : "#fdecea"
    border.color: needsOcr ? "#f3d3a8" : "#f5c2bd"

    Label {
        id: label

        anchors.centerIn: parent
        text: chip.stateText
        textFormat: Text.PlainText
        font.pixelSize: 11
        font.weight: Font.Medium
        color: chip.needsOcr ? Theme.warning : Theme.danger
    }
}
