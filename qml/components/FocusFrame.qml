import QtQuick
import Tessavo

// The frame around the list row that has the keyboard focus.
Rectangle {
    anchors.fill: parent
    radius: Theme.radius
    color: Theme.none
    border.color: Theme.focus
    border.width: 2
}
