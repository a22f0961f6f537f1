import QtQuick
import QtQuick.Controls
import Tessavo

// One page in the sidebar: its name and, for some pages, a counter. Clicking it, or Space or
// Enter while it has the focus, chooses the page.
Rectangle {
    id: entry

    property string label: ""
    property bool current: false
    // Shown when above zero; a warning counter asks for the user's attention.
    property int counter: 0
    property bool warnCounter: false
    property alias counterName: counterLabel.objectName
    // The key that shows the page, for the tooltip.
    property string shortcut: ""

    signal chosen

    radius: 7
    color: current ? Theme.accentSoft : Theme.none
    activeFocusOnTab: true
    Accessible.role: Accessible.PageTab
    Accessible.name: label
    Accessible.selected: current
    Accessible.onPressAction: entry.chosen()
    Keys.onSpacePressed: entry.chosen()
    Keys.onReturnPressed: entry.chosen()
    Keys.onEnterPressed: entry.chosen()

    Rectangle {
        anchors.fill: parent
        radius: parent.radius
        color: Theme.none
        border.color: Theme.focus
        border.width: 2
        visible: entry.activeFocus
    }

    Label {
        anchors.left: parent.left
        anchors.leftMargin: 12
        anchors.verticalCenter: parent.verticalCenter
        text: entry.label
        textFormat: Text.PlainText
        font.pixelSize: 14
        font.weight: entry.current ? Font.Medium : Font.Normal
        color: entry.current ? Theme.accent : Theme.text
    }
    Label {
        id: counterLabel

        anchors.right: parent.right
        anchors.rightMargin: 12
        anchors.verticalCenter: parent.verticalCenter
        visible: entry.counter > 0
        text: entry.counter
        textFormat: Text.PlainText
        font.pixelSize: 12
        font.weight: entry.warnCounter ? Font.DemiBold : Font.Normal
        color: entry.warnCounter ? Theme.warning : Theme.muted
    }
    MouseArea {
        id: pointer

        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: entry.chosen()
    }

    ToolTip.visible: pointer.containsMouse && entry.shortcut !== ""
    ToolTip.delay: 600
    ToolTip.text: qsTr("%1 (%2)").arg(entry.label).arg(entry.shortcut)
}
