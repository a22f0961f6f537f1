import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo

// The pages, one entry each, with the number of documents and of those still to review.
Rectangle {
    id: sidebar

    property int currentPage: 0

    signal pageChosen(int index)

    objectName: "sidebar"
    color: Theme.panel

    Rectangle {
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        anchors.right: parent.right
        width: 1
        color: Theme.border
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 14
        spacing: 6

        Label {
            textFormat: Text.PlainText
            text: qsTr("WORKSPACE")
            color: Theme.muted
            font.pixelSize: 10
            font.weight: Font.DemiBold
            font.letterSpacing: 1
            leftPadding: 8
            topPadding: 6
            bottomPadding: 6
        }

        NavEntry {
            objectName: "nav0"
            counterName: "navCounter0"
            shortcut: "Ctrl+1"
            Layout.fillWidth: true
            Layout.preferredHeight: 40
            label: qsTr("Import")
            current: sidebar.currentPage === 0
            counter: App.summary.total
            onChosen: sidebar.pageChosen(0)
        }
        NavEntry {
            objectName: "nav1"
            counterName: "navCounter1"
            shortcut: "Ctrl+2"
            Layout.fillWidth: true
            Layout.preferredHeight: 40
            label: qsTr("Rules")
            current: sidebar.currentPage === 1
            onChosen: sidebar.pageChosen(1)
        }
        NavEntry {
            objectName: "nav2"
            counterName: "navCounter2"
            shortcut: "Ctrl+3"
            Layout.fillWidth: true
            Layout.preferredHeight: 40
            label: qsTr("Review")
            current: sidebar.currentPage === 2
            counter: App.summary.pending
            warnCounter: true
            onChosen: sidebar.pageChosen(2)
        }
        NavEntry {
            objectName: "nav3"
            counterName: "navCounter3"
            shortcut: "Ctrl+4"
            Layout.fillWidth: true
            Layout.preferredHeight: 40
            label: qsTr("Export")
            current: sidebar.currentPage === 3
            onChosen: sidebar.pageChosen(3)
        }

        Item {
            Layout.fillHeight: true
        }
    }
}
