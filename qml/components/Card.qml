import QtQuick
import Tessavo

// The white, bordered panel that holds one row of a list or one group of controls.
Rectangle {
    radius: Theme.radius
    color: Theme.panel
    border.color: Theme.border
}
