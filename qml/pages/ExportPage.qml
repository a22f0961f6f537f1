import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo

Item {
    id: page

    property url exportFolderUrl: ""
    property string exportFolderPath: ""

    readonly property bool lastExportOk: App.lastExport.ok
    readonly property bool canExport: !App.exporter.exporting && App.summary.exportable > 0 && exportFolderPath !== ""

    // Documents nobody has decided on are exported without a category: the user says so first.
    function startExport() {
        if (!canExport)
            return
        const undecided = App.summary.undecided
        const conflicting = App.summary.undecidedConflicts
        if (undecided + conflicting === 0) {
            App.exporter.exportTo(exportFolderUrl)
            return
        }
        undecidedDialog.message = qsTr("%n document(s) still need review", "", undecided) + "\n"
            + qsTr("%n document(s) have conflicting suggestions", "", conflicting) + "\n\n"
            + qsTr("They are exported without a category. Export anyway?")
        undecidedDialog.open()
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
                    { label: qsTr("Ready to export"), key: "ready" },
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
                            : page.lastExportOk ? App.lastExport.directory : qsTr("No folder selected")
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
                        visible: App.exporter.exporting
                        Layout.fillWidth: true
                        from: 0
                        to: 100
                        value: App.exporter.progress
                    }
                    Label {
                        objectName: "exportPercent"
                        visible: App.exporter.exporting
                        textFormat: Text.PlainText
                        color: Theme.muted
                        font.pixelSize: 12
                        text: qsTr("%1 %").arg(App.exporter.progress)
                    }
                    Button {
                        objectName: "cancelExportButton"
                        visible: App.exporter.exporting
                        text: qsTr("Cancel")
                        onClicked: App.exporter.cancelExport()
                    }
                }
            }
        }

        LastExportPanel {
            objectName: "lastExportPanel"
            visible: page.lastExportOk
            Layout.fillWidth: true
            Layout.fillHeight: true
        }

        Item {
            Layout.fillWidth: true
            Layout.fillHeight: true
        }
    }

    ConfirmDialog {
        id: undecidedDialog

        objectName: "undecidedDialog"
        title: qsTr("Export undecided documents")
        confirmText: qsTr("Export anyway")
        onConfirmed: App.exporter.exportTo(page.exportFolderUrl)
    }

    FolderPicker {
        id: folderDialog

        objectName: "exportFolder"
        title: qsTr("Select an export folder")
        onChosen: folder => page.chooseFolder(folder)
    }
}
