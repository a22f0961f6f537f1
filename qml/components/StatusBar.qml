import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo

// The bar below everything: the latest message, and an indicator for each task that runs.
Rectangle {
    id: bar

    // While an import runs and nothing newer was said, the line shows the import's progress.
    readonly property bool statusStale: App.statusShowsImport

    implicitHeight: 36
    color: Theme.panel

    Rectangle {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        height: 1
        color: Theme.border
    }

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 20
        anchors.rightMargin: 20
        spacing: 12

        Label {
            objectName: "statusText"
            Layout.fillWidth: true
            text: bar.statusStale ? qsTr("Importing %1%").arg(App.importer.progress) : App.status
            textFormat: Text.PlainText
            color: bar.statusStale ? Theme.accent : Theme.muted
            font.pixelSize: 12
            elide: Text.ElideRight
        }
        Label {
            objectName: "importProgressText"
            textFormat: Text.PlainText
            visible: App.importer.running && !bar.statusStale
            text: qsTr("Importing %1%").arg(App.importer.progress)
            color: Theme.accent
            font.pixelSize: 12
        }
        ProgressBar {
            objectName: "importProgressBar"
            visible: App.importer.running
            Layout.preferredWidth: 160
            from: 0
            to: 100
            value: App.importer.progress
            Accessible.name: qsTr("Import progress")
        }
        Label {
            objectName: "recognitionProgressText"
            textFormat: Text.PlainText
            visible: App.recognition.running
            text: qsTr("Recognising text %1%").arg(App.recognition.progress)
            color: Theme.accent
            font.pixelSize: 12
        }
        ProgressBar {
            objectName: "recognitionProgressBar"
            visible: App.recognition.running
            Layout.preferredWidth: 120
            from: 0
            to: 100
            value: App.recognition.progress
            Accessible.name: qsTr("Text recognition progress")
        }
        Button {
            objectName: "cancelRecognitionButton"
            visible: App.recognition.running
            flat: true
            text: qsTr("Cancel")
            ToolTip.visible: hovered
            ToolTip.delay: 600
            ToolTip.text: qsTr("Stop recognising text")
            onClicked: App.recognition.cancel()
        }
        BusyIndicator {
            objectName: "exportBusy"
            visible: App.exporter.exporting
            running: App.exporter.exporting
            // The style's padding would leave nothing to draw at this size.
            padding: 0
            Layout.preferredWidth: 18
            Layout.preferredHeight: 18
            Accessible.name: qsTr("Exporting…")
        }
        Label {
            objectName: "exportingText"
            textFormat: Text.PlainText
            visible: App.exporter.exporting
            text: qsTr("Exporting…")
            color: Theme.accent
            font.pixelSize: 12
        }
    }
}
