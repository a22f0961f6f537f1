import QtQuick
import QtQuick.Controls
import Tessavo

// A keyboard-driven list of cards with a scroll bar for as long as the list does not fit. The
// row with the focus is always on screen.
ListView {
    id: list

    property alias scrollBarName: scrollBar.objectName
    // The width a row gets beside the scroll bar. The bar's place is kept when it is hidden:
    // rows that narrowed as it came would grow taller, and could call it back and forth.
    readonly property real rowWidth: width - scrollBar.width - 4

    // Positioned once the change has settled, since a model reset moves the current row too.
    function showCurrent() {
        if (currentIndex >= 0 && currentIndex < count)
            positionViewAtIndex(currentIndex, ListView.Contain)
    }

    clip: true
    spacing: 8
    activeFocusOnTab: true
    keyNavigationEnabled: true
    // The 6.4 linter takes Qt.callLater for a property that may not be a method.
    onCurrentIndexChanged: Qt.callLater(showCurrent) // qmllint disable type
    Accessible.role: Accessible.List

    ScrollBar.vertical: ListScrollBar {
        id: scrollBar
    }
}
