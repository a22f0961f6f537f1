import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import Tessavo

Item {
    id: page

    property url exportFolderUrl: ""
    property string exportFolderPath: ""

    readonly property bool lastExportOk: app.lastExport.ok === true
    readonly property var lastWarnings: app.lastExport.warnings || []
    readonly property bool canExport: !app.exporting && app.summary.exportable > 0 && exportFolderPath !== ""

    function startExport() {
        if (canExport)
            app.exportTo(exportFolderUrl)
    }

    // Takes the folder chosen in the dialog; the path shown is the decoded URL text.
    function chooseFolder(folderUrl) {
        exportFolderUrl = folderUrl
        let text = String(folderUrl)
        // A Windows drive path loses the whole prefix; elsewhere the leading slash is kept.
        text = /^file:\/\/\/[A-Za-z]:/.test(text) ? text.replace("file:///", "") : text.replace("file://", "")
        try {
            text = decodeURIComponent(text)
        } catch (error) {
            // shown undecoded
        }
        exportFolderPath = text
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 20
        spacing: 14

        RowLayout {
            Layout.fillWidth: true

            ColumnLayout {
                spacing: 2

                Label {
                    textFormat: Text.PlainText
                    text: qsTr("Export")
                    color: Theme.text
                    font.pixelSize: 22
                    font.weight: Font.DemiBold
                }
                Label {
                    textFormat: Text.PlainText
                    text: qsTr("One folder with manifest.csv, index.pdf, a ZIP and read-only copies of the originals.")
                    color: Theme.muted
                    font.pixelSize: 12
                }
            }
            Item {
                Layout.fillWidth: true
            }
        }

        GridLayout {
            Layout.fillWidth: true
            columns: 3
            columnSpacing: 10
            rowSpacing: 10

            Repeater {
                model: [
                    { label: qsTr("Documents"), key: "total" },
                    { label: qsTr("Ready to export"), key: "exportable" },
                    { label: qsTr("Needs review"), key: "pending" },
                    { label: qsTr("Conflicts"), key: "conflicts" },
                    { label: qsTr("Needs OCR"), key: "needsOcr" },
                    { label: qsTr("Ignored"), key: "ignored" }
                ]

                delegate: Rectangle {
                    id: tile

                    required property var modelData

                    objectName: "tile_" + modelData.key
                    Layout.fillWidth: true
                    Layout.preferredHeight: 64
                    radius: Theme.radius
                    color: Theme.panel
                    border.color: Theme.border

                    ColumnLayout {
                        anchors.centerIn: parent
                        spacing: 2

                        Label {
                            objectName: "tileValue"
                            textFormat: Text.PlainText
                            Layout.alignment: Qt.AlignHCenter
                            text: app.summary[tile.modelData.key]
                            color: Theme.text
                            font.pixelSize: 20
                            font.weight: Font.DemiBold
                        }
                        Label {
                            textFormat: Text.PlainText
                            Layout.alignment: Qt.AlignHCenter
                            text: tile.modelData.label
                            color: Theme.muted
                            font.pixelSize: 11
                        }
                    }
                }
            }
        }

        Rectangle {
            Layout.fillWidth: true
            Layout.preferredHeight: 132
            radius: Theme.radius
            color: Theme.panel
            border.color: Theme.border

            ColumnLayout {
                anchors.fill: parent
                anchors.margins: 14
                spacing: 10

                RowLayout {
                    Layout.fillWidth: true
                    spacing: 10

                    Label {
                        textFormat: Text.PlainText
                        text: qsTr("Destination")
                        color: Theme.text
                        font.pixelSize: 13
                        font.weight: Font.Medium
                    }
                    Label {
                        objectName: "destinationText"
                        textFormat: Text.PlainText
                        Layout.fillWidth: true
                        elide: Text.ElideMiddle
                        font.pixelSize: 12
                        text: page.exportFolderPath !== "" ? page.exportFolderPath
                            : page.lastExportOk ? app.lastExport.directory : qsTr("No folder selected")
                        color: page.exportFolderPath !== "" || page.lastExportOk ? Theme.text : Theme.muted
                    }
                    Button {
                        objectName: "chooseFolderButton"
                        text: qsTr("Choose folder…")
                        onClicked: folderDialog.open()
                    }
                }
                RowLayout {
                    Layout.fillWidth: true
                    spacing: 10

                    Button {
                        objectName: "exportButton"
                        text: qsTr("Export bundle")
                        highlighted: true
                        opacity: enabled ? 1 : 0.4
                        enabled: page.canExport
                        onClicked: page.startExport()
                    }
                    // While the bundle is written: how far it is, and a way to stop it.
                    ProgressBar {
                        objectName: "exportProgressBar"
                        visible: app.exporting
                        Layout.fillWidth: true
                        from: 0
                        to: 100
                        value: app.exportProgress
                    }
                    Label {
                        objectName: "exportPercent"
                        visible: app.exporting
                        textFormat: Text.PlainText
                        color: Theme.muted
                        font.pixelSize: 12
                        text: qsTr("%1 %").arg(app.exportProgress)
                    }
                    Button {
                        objectName: "cancelExportButton"
                        visible: app.exporting
                        text: qsTr("Cancel")
                        onClicked: app.cancelExport()
                    }
                }
            }
        }

        // As high as its lines where there is room; in a small window its lines scroll inside
        // its border.
        Rectangle {
            objectName: "lastExportPanel"
            visible: page.lastExportOk
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.preferredHeight: lastExportLines.implicitHeight + 28
            Layout.maximumHeight: lastExportLines.implicitHeight + 28
            radius: Theme.radius
            color: Theme.panel
            border.color: Theme.border

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
                            onClicked: app.openPath(app.lastExport.directory)
                        }
                        Button {
                            objectName: "openZipButton"
                            text: qsTr("Open ZIP")
                            onClicked: app.openPath(app.lastExport.zip)
                        }
                    }
                    Label {
                        objectName: "exportCounts"
                        textFormat: Text.PlainText
                        Layout.fillWidth: true
                        wrapMode: Text.WordWrap
                        color: Theme.muted
                        font.pixelSize: 11
                        text: qsTr("%1 exported · %2 skipped").arg(app.lastExport.exported || 0).arg(app.lastExport.skipped || 0)
                    }
                    Label {
                        objectName: "exportFiles"
                        textFormat: Text.PlainText
                        Layout.fillWidth: true
                        wrapMode: Text.Wrap
                        color: Theme.muted
                        font.pixelSize: 11
                        text: qsTr("manifest.csv\nindex.pdf\n%1").arg(app.lastExport.zip || "")
                    }
                    Label {
                        objectName: "exportWarnings"
                        textFormat: Text.PlainText
                        Layout.fillWidth: true
                        visible: page.lastWarnings.length > 0
                        wrapMode: Text.Wrap
                        color: Theme.warning
                        font.pixelSize: 11
                        text: page.lastWarnings.join("\n")
                    }
                }
            }
        }

        Item {
            Layout.fillWidth: true
            Layout.fillHeight: true
        }
    }

    FolderDialog {
        id: folderDialog

        title: qsTr("Select an export folder")
        onAccepted: page.chooseFolder(selectedFolder)
    }
}
