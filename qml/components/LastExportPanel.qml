import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo

// The folder, the ZIP and the counts of the last export, with its warnings. As high as its lines
// where there is room; in a small window its lines scroll inside its border.
Card {
    id: panel

    // The bundle shown: this run's last export, or one remembered from an earlier run.
    property var bundle: App.lastExport
    readonly property var warnings: bundle.warnings ?? []
    // The ZIP's volumes when it was written in several; empty for one ZIP.
    readonly property var volumes: bundle.volumes ?? []

    Layout.preferredHeight: lastExportLines.implicitHeight + 28
    Layout.maximumHeight: lastExportLines.implicitHeight + 28

    Flickable {
        id: lastExportView

        objectName: "lastExportView"
        anchors.fill: parent
        anchors.margins: 14
        clip: true
        contentWidth: width
        contentHeight: lastExportLines.implicitHeight
        boundsBehavior: Flickable.StopAtBounds

        ScrollBar.vertical: ListScrollBar {}

        ColumnLayout {
            id: lastExportLines

            width: lastExportView.width
            spacing: 8

            RowLayout {
                Layout.fillWidth: true

                Label {
                    textFormat: Text.PlainText
                    text: qsTr("Last export")
                    color: Theme.text
                    font.pixelSize: 13
                    font.weight: Font.Medium
                }
                Item {
                    Layout.fillWidth: true
                }
                Button {
                    objectName: "openFolderButton"
                    text: qsTr("Open folder")
                    ToolTip.visible: hovered
                    ToolTip.delay: 600
                    ToolTip.text: qsTr("Open the bundle folder in the file manager")
                    onClicked: App.openPath(panel.bundle.directory)
                }
                Button {
                    objectName: "openZipButton"
                    text: qsTr("Open ZIP")
                    ToolTip.visible: hovered
                    ToolTip.delay: 600
                    ToolTip.text: panel.volumes.length > 0
                                  ? qsTr("Open the first of the ZIP's %1 volumes beside the bundle folder").arg(panel.volumes.length)
                                  : qsTr("Open the ZIP beside the bundle folder")
                    onClicked: App.openPath(panel.bundle.zip)
                }
            }
            Label {
                objectName: "exportCounts"
                textFormat: Text.PlainText
                Layout.fillWidth: true
                wrapMode: Text.WordWrap
                color: Theme.muted
                font.pixelSize: 11
                text: qsTr("%1 exported · %2 skipped").arg(panel.bundle.exported).arg(panel.bundle.skipped)
            }
            Label {
                objectName: "exportFiles"
                textFormat: Text.PlainText
                Layout.fillWidth: true
                wrapMode: Text.Wrap
                color: Theme.muted
                font.pixelSize: 11
                text: qsTr("manifest.csv\nindex.pdf\n%1").arg(panel.volumes.length > 0 ? panel.volumes.join("\n") : panel.bundle.zip)
            }
            Label {
                objectName: "exportWarnings"
                textFormat: Text.PlainText
                Layout.fillWidth: true
                visible: panel.warnings.length > 0
                wrapMode: Text.Wrap
                color: Theme.warning
                font.pixelSize: 11
                text: panel.warnings.join("\n")
            }
        }
    }
}
