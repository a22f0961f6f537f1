import QtQuick
import QtQuick.Controls

// A decision button of a review row: named with its document for screen readers, with its
// shortcut in a tooltip, on the Tab chain only while its row is the current one.
Button {
    id: button

    property string accessibleName: text
    property string toolTip: ""
    // Tab on the row's last button that can be used: on to the next row rather than wherever
    // the focus chain leads.
    signal tabbedOut
    property bool tabStop: true

    // Whether a later button of the row can take the focus.
    function lastInRow() {
        const items = button.parent.children
        let after = false
        for (let i = 0; i < items.length; ++i) {
            const other = items[i] as ReviewButton
            if (other === button)
                after = true
            else if (after && other !== null && other.visible && other.enabled)
                return false
        }
        return true
    }

    // As wide as its text needs: a row keeps its buttons beside the preview in the smallest
    // window.
    implicitWidth: Math.max(64, implicitContentWidth + leftPadding + rightPadding)
    focusPolicy: tabStop ? Qt.StrongFocus : Qt.ClickFocus
    Keys.onTabPressed: event => {
        if (button.lastInRow())
            button.tabbedOut()
        else
            event.accepted = false
    }
    Accessible.name: accessibleName
    // Qt 6.4 reports a disabled button as enabled: the description tells the screen reader.
    Accessible.description: enabled ? toolTip : qsTr("Not available for this document")
    ToolTip.visible: hovered && toolTip !== ""
    ToolTip.delay: 600
    ToolTip.text: toolTip
}
