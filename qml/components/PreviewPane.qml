import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo
import "Texts.js" as Texts

// The followed document's page beside the review list, drawn by an inspection worker: its full
// name and folder, page navigation, fit to width or whole page, and the desktop's viewer. Its
// buttons are as wide as their texts, so all of them fit the pane of the smallest window.
Card {
    id: pane

    // The folder of the followed document, as its row shows it.
    property string folder: ""
    // The page fills the pane's width (and scrolls), or the whole page fits the pane.
    property bool fitWidth: true

    readonly property int row: App.preview.row

    Accessible.role: Accessible.Pane
    Accessible.name: qsTr("Preview")

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 10
        spacing: 6

        Label {
            objectName: "previewName"
            textFormat: Text.PlainText
            Layout.fillWidth: true
            wrapMode: Text.WrapAnywhere
            maximumLineCount: 3
            elide: Text.ElideRight
            text: App.preview.fileName
            color: Theme.text
            font.pixelSize: 13
            font.weight: Font.Medium
        }
        Label {
            objectName: "previewFolder"
            textFormat: Text.PlainText
            Layout.fillWidth: true
            visible: pane.folder !== "" && pane.row >= 0
            wrapMode: Text.WrapAnywhere
            maximumLineCount: 2
            elide: Text.ElideRight
            text: pane.folder
            color: Theme.muted
            font.pixelSize: 11
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 4
            visible: pane.row >= 0

            Button {
                objectName: "previousPageButton"
                implicitWidth: implicitContentWidth + leftPadding + rightPadding
                text: "‹"
                flat: true
                focusPolicy: Qt.NoFocus
                enabled: App.preview.page > 0
                Accessible.name: qsTr("Previous page")
                ToolTip.visible: hovered
                ToolTip.text: qsTr("Previous page")
                onClicked: App.preview.previousPage()
            }
            Label {
                objectName: "pageText"
                textFormat: Text.PlainText
                text: Texts.fill(qsTr("page %1 of %2"), [App.preview.page + 1, App.preview.pageCount])
                visible: App.preview.pageCount > 0
                color: Theme.muted
                font.pixelSize: 11
            }
            Button {
                objectName: "nextPageButton"
                implicitWidth: implicitContentWidth + leftPadding + rightPadding
                text: "›"
                flat: true
                focusPolicy: Qt.NoFocus
                enabled: App.preview.page + 1 < App.preview.pageCount
                Accessible.name: qsTr("Next page")
                ToolTip.visible: hovered
                ToolTip.text: qsTr("Next page")
                onClicked: App.preview.nextPage()
            }
            Item {
                Layout.fillWidth: true
            }
            Button {
                objectName: "fitWidthButton"
                implicitWidth: implicitContentWidth + leftPadding + rightPadding
                text: qsTr("Fit width")
                flat: true
                checkable: true
                checked: pane.fitWidth
                focusPolicy: Qt.NoFocus
                font.pixelSize: 11
                ToolTip.visible: hovered
                ToolTip.text: pane.fitWidth ? qsTr("Show the whole page") : qsTr("Fit the page to the width")
                onToggled: pane.fitWidth = checked
            }
        }

        Flickable {
            id: view

            objectName: "previewView"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            contentWidth: width
            contentHeight: page.height
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar {}

            onWidthChanged: App.preview.setPageWidth(Math.round(width * Screen.devicePixelRatio))
            Component.onCompleted: App.preview.setPageWidth(Math.round(width * Screen.devicePixelRatio))

            PageImage {
                id: page

                objectName: "pageImage"
                preview: App.preview
                width: view.width
                height: pane.fitWidth && aspect > 0 ? Math.round(view.width * aspect) : view.height
                visible: App.preview.hasImage
            }

            Connections {
                target: App.preview
                function onPageChanged() { view.contentY = 0 }
                function onDocumentChanged() { view.contentY = 0 }
            }
        }

        Label {
            objectName: "previewMessage"
            textFormat: Text.PlainText
            Layout.fillWidth: true
            visible: text !== ""
            wrapMode: Text.Wrap
            horizontalAlignment: Text.AlignHCenter
            color: Theme.muted
            font.pixelSize: 12
            text: pane.row < 0 ? qsTr("Choose a document to see its page here.")
                : App.preview.busy && !App.preview.hasImage ? qsTr("Drawing the page…")
                : App.preview.message
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 6
            visible: pane.row >= 0

            Button {
                objectName: "openButton"
                implicitWidth: implicitContentWidth + leftPadding + rightPadding
                text: qsTr("Open")
                ToolTip.visible: hovered
                ToolTip.text: qsTr("Open in the desktop's viewer (Enter)")
                onClicked: App.preview.openDocument(pane.row)
            }
            Button {
                objectName: "showInFolderButton"
                implicitWidth: implicitContentWidth + leftPadding + rightPadding
                text: qsTr("Show in folder")
                flat: true
                ToolTip.visible: hovered
                ToolTip.text: qsTr("Open the folder that holds this file")
                onClicked: App.preview.showInFolder(pane.row)
            }
        }
    }
}
