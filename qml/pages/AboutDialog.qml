import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo

// The program's name, version and purpose, and its keyboard shortcuts. Close has the focus, so
// Enter closes it.
Dialog {
    id: dialog

    parent: Overlay.overlay
    anchors.centerIn: parent
    width: Math.min(520, parent ? parent.width - 40 : 520)
    height: Math.min(implicitHeight, parent ? parent.height - 40 : implicitHeight)
    modal: true
    title: qsTr("About Tessavo")
    onOpened: closeButton.forceActiveFocus()

    Flickable {
        anchors.fill: parent
        implicitHeight: content.implicitHeight
        contentWidth: width
        contentHeight: content.implicitHeight
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ListScrollBar {}

        ColumnLayout {
            id: content

            width: parent.width
            spacing: 10

            Keys.onReturnPressed: dialog.close()
            Keys.onEnterPressed: dialog.close()

            Label {
                textFormat: Text.PlainText
                text: qsTr("Tessavo %1").arg(App.appVersion)
                color: Theme.text
                font.pixelSize: 16
                font.weight: Font.DemiBold
            }
            Label {
                objectName: "aboutText"
                textFormat: Text.PlainText
                Layout.fillWidth: true
                text: qsTr("Offline document organizer. Import PDFs, classify them with explainable rules, review every suggestion and export a manifest, an index PDF and a ZIP of the originals.")
                wrapMode: Text.WordWrap
                color: Theme.muted
                font.pixelSize: 12
            }
            Label {
                textFormat: Text.PlainText
                text: qsTr("Keyboard shortcuts")
                color: Theme.text
                font.pixelSize: 13
                font.weight: Font.Medium
            }
            GridLayout {
                objectName: "shortcutList"
                Layout.fillWidth: true
                columns: 2
                columnSpacing: 16
                rowSpacing: 4

                Repeater {
                    model: ["Ctrl+1 … Ctrl+4", "Ctrl+O", "Ctrl+Shift+O", "Ctrl+E", qsTr("Esc"),
                        qsTr("Tab, Shift+Tab"), qsTr("↑ ↓ Home End PgUp PgDn"), qsTr("Enter"),
                        "A / C / I / R", qsTr("Shift+↑ ↓, Ctrl+click, Ctrl+A"), "Ctrl+F",
                        "Ctrl+Z", qsTr("Ctrl+Shift+Z, Ctrl+Y")]

                    delegate: Label {
                        required property string modelData
                        required property int index

                        Layout.row: index
                        Layout.column: 0
                        textFormat: Text.PlainText
                        text: modelData
                        color: Theme.text
                        font.pixelSize: 12
                        font.weight: Font.Medium
                    }
                }
                Repeater {
                    model: [
                        qsTr("Show the Import, Rules, Review or Export page"),
                        qsTr("Add PDF files"),
                        qsTr("Add a folder"),
                        qsTr("Export the bundle"),
                        qsTr("Cancel the running export; close a dialog"),
                        qsTr("Move between controls and lists"),
                        qsTr("Move in a list"),
                        qsTr("Edit the focused rule; open the focused document; confirm a dialog"),
                        qsTr("Review: accept, change the category, ignore, reset"),
                        qsTr("Review: select several documents"),
                        qsTr("Review: find a document"),
                        qsTr("Review and Rules: undo the last decision or rule change"),
                        qsTr("Review and Rules: redo")
                    ]

                    delegate: Label {
                        required property string modelData
                        required property int index

                        Layout.row: index
                        Layout.column: 1
                        Layout.fillWidth: true
                        textFormat: Text.PlainText
                        wrapMode: Text.WordWrap
                        text: modelData
                        color: Theme.muted
                        font.pixelSize: 12
                    }
                }
            }
            Button {
                id: closeButton

                objectName: "aboutCloseButton"
                Layout.alignment: Qt.AlignRight
                text: qsTr("Close")
                onClicked: dialog.close()
            }
        }
    }
}
