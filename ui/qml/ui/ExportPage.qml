import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import Tessavo

// App.summary and App.lastExport are maps whose keys qmllint cannot know: the lines that read
// them say so.
Item {
    id: page

    property url exportFolderUrl: ""
    property string exportFolderPath: ""

    readonly property bool lastExportOk: App.lastExport.ok === true // qmllint disable type
    readonly property var lastWarnings: App.lastExport.warnings || [] // qmllint disable type
    readonly property bool canExport: !App.exporting && App.summary.exportable > 0 && exportFolderPath !== "" // qmllint disable type

    function startExport() {
        if (canExport)
            App.exportTo(exportFolderUrl)
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

        PageHeader {
            title: qsTr("Export")
            subtitle: qsTr("One folder with manifest.csv, index.pdf, a ZIP and read-only copies of the originals.")
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

                delegate: SummaryTile {
                    required property var modelData

                    objectName: "tile_" + modelData.key
                    Layout.fillWidth: true
                    Layout.preferredHeight: 64
                    label: modelData.label
                    value: App.summary[modelData.key]
                }
            }
        }

        Card {
            Layout.fillWidth: true
            Layout.preferredHeight: 132

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
                            : page.lastExportOk ? App.lastExport.directory : qsTr("No folder selected") // qmllint disable type
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
                        visible: App.exporting
                        Layout.fillWidth: true
                        from: 0
                        to: 100
                        value: App.exportProgress
                    }
                    Label {
                        objectName: "exportPercent"
                        visible: App.exporting
                        textFormat: Text.PlainText
                        color: Theme.muted
                        font.pixelSize: 12
                        text: qsTr("%1 %").arg(App.exportProgress)
                    }
                    Button {
                        objectName: "cancelExportButton"
                        visible: App.exporting
                        text: qsTr("Cancel")
                        onClicked: App.cancelExport()
                    }
                }
            }
        }

        // As high as its lines where there is room; in a small window its lines scroll inside
        // its border.
        Card {
            objectName: "lastExportPanel"
            visible: page.lastExportOk
            Layout.fillWidth: true
            Layout.fillHeight: true
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
                            onClicked: App.openPath(App.lastExport.directory) // qmllint disable type
                        }
                        Button {
                            objectName: "openZipButton"
                            text: qsTr("Open ZIP")
                            onClicked: App.openPath(App.lastExport.zip) // qmllint disable type
                        }
                    }
                    Label {
                        objectName: "exportCounts"
                        textFormat: Text.PlainText
                        Layout.fillWidth: true
                        wrapMode: Text.WordWrap
                        color: Theme.muted
                        font.pixelSize: 11
                        text: qsTr("%1 exported · %2 skipped").arg(App.lastExport.exported || 0).arg(App.lastExport.skipped || 0) // qmllint disable type
                    }
                    Label {
                        objectName: "exportFiles"
                        textFormat: Text.PlainText
                        Layout.fillWidth: true
                        wrapMode: Text.Wrap
                        color: Theme.muted
                        font.pixelSize: 11
                        text: qsTr("manifest.csv\nindex.pdf\n%1").arg(App.lastExport.zip || "") // qmllint disable type
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
