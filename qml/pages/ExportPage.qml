import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Tessavo

Item {
    id: page

    property url exportFolderUrl: ""
    property string exportFolderPath: ""

    // A bundle written in an earlier run, shown until this run writes one.
    property var rememberedExport: ({ ok: false })
    readonly property var shownExport: App.lastExport.ok ? App.lastExport : rememberedExport
    readonly property bool lastExportOk: shownExport.ok === true
    readonly property bool canExport: !App.exporter.exporting && App.summary.exportable > 0 && exportFolderPath !== ""
    // Why "Export bundle" cannot be used now; empty when it can.
    readonly property string whyNot: App.exporter.exporting ? qsTr("An export is running.")
        : App.summary.exportable === 0 ? qsTr("No document is ready to export yet: import PDFs first.")
        : exportFolderPath === "" ? qsTr("Choose a destination folder first (“Choose folder…”).")
        : ""
    // Set when the user asked for an export that cannot start: the reason is then stressed.
    property bool explained: false

    // The export was asked for but cannot start: say why where the user looks, and offer the
    // way forward.
    function explainWhyNot() {
        explained = true
        if (!App.exporter.exporting && exportFolderPath === "")
            chooseFolderButton.forceActiveFocus(Qt.TabFocusReason)
    }

    function focusContent() {
        if (canExport)
            exportButton.forceActiveFocus(Qt.TabFocusReason)
        else if (App.exporter.exporting)
            cancelExportButton.forceActiveFocus(Qt.TabFocusReason)
        else
            chooseFolderButton.forceActiveFocus(Qt.TabFocusReason)
    }

    // Show these documents in the review list, saying which rule of the portal they fail.
    signal reviewOnly(var paths, string reason)

    // The check follows the list while the page is shown.
    onVisibleChanged: App.readiness.watching = visible
    Component.onCompleted: App.readiness.watching = visible

    // Documents nobody has decided on are exported without a category, and a package that breaks
    // a rule of the portal may be refused: the user says so first.
    function startExport() {
        if (!canExport)
            return
        App.readiness.check()
        const undecided = App.summary.undecided
        const conflicting = App.summary.undecidedConflicts
        // What the user is asked about: undecided documents, then the rules the package breaks.
        let question = ""
        if (undecided + conflicting > 0)
            question = qsTr("%n document(s) still need review", "", undecided) + "\n"
                + qsTr("%n document(s) have conflicting suggestions", "", conflicting) + "\n\n"
                + qsTr("They are exported without a category.")
        if (!App.readiness.ready)
            question += (question === "" ? "" : "\n\n")
                + Texts.fill(qsTr("The package breaks these rules of “%1”:"),
                             [App.readiness.profileNames[App.readiness.profileIndex]])
                + "\n" + App.readiness.failedRequirements()
        if (question === "") {
            App.exporter.exportTo(exportFolderUrl)
            return
        }
        undecidedDialog.title = App.readiness.ready ? qsTr("Export undecided documents")
                                                    : qsTr("Export a package that breaks the rules")
        undecidedDialog.message = question + (App.readiness.ready ? " " : "\n\n") + qsTr("Export anyway?")
        undecidedDialog.open()
    }

    // Takes the folder chosen in the dialog; the path shown is the decoded URL text.
    function chooseFolder(folderUrl) {
        explained = false
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
            columns: page.width >= 720 ? 6 : 3
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
                            : page.lastExportOk ? page.shownExport.directory : qsTr("No folder selected")
                        color: page.exportFolderPath !== "" || page.lastExportOk ? Theme.text : Theme.muted
                    }
                    Button {
                        id: chooseFolderButton

                        objectName: "chooseFolderButton"
                        text: qsTr("Choose folder…")
                        ToolTip.visible: hovered
                        ToolTip.delay: 600
                        ToolTip.text: qsTr("Choose the folder the bundle is written into")
                        onClicked: folderDialog.open()
                    }
                }
                RowLayout {
                    Layout.fillWidth: true
                    spacing: 10

                    Button {
                        id: exportButton

                        objectName: "exportButton"
                        text: qsTr("Export bundle")
                        highlighted: true
                        // The style draws the focus in the accent colour, which a highlighted button already
                        // has: a ring around it shows the focus instead.
                        FocusFrame {
                            anchors.margins: -4
                            visible: exportButton.visualFocus
                        }
                        enabled: page.canExport
                        Accessible.name: text
                        Accessible.description: page.whyNot
                        ToolTip.visible: hovered
                        ToolTip.delay: 600
                        ToolTip.text: qsTr("Write the bundle folder and its ZIP (Ctrl+E)")
                        onClicked: page.startExport()
                    }
                    // Why the export cannot start; stressed once the user asked for it.
                    Label {
                        objectName: "exportNotice"
                        visible: page.whyNot !== "" && !App.exporter.exporting
                        Layout.fillWidth: true
                        textFormat: Text.PlainText
                        wrapMode: Text.Wrap
                        color: page.explained ? Theme.warning : Theme.muted
                        font.pixelSize: 12
                        font.weight: page.explained ? Font.Medium : Font.Normal
                        text: page.whyNot
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
                        id: cancelExportButton

                        objectName: "cancelExportButton"
                        visible: App.exporter.exporting
                        text: qsTr("Cancel")
                        ToolTip.visible: hovered
                        ToolTip.delay: 600
                        ToolTip.text: qsTr("Stop the export; nothing of it is kept (Esc)")
                        onClicked: App.exporter.cancelExport()
                    }
                }
            }
        }

        ReadinessCard {
            objectName: "readinessCard"
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.minimumHeight: 110
            onReviewOnly: (paths, reason) => page.reviewOnly(paths, reason)
        }

        LastExportPanel {
            objectName: "lastExportPanel"
            visible: page.lastExportOk
            bundle: page.shownExport
            Layout.fillWidth: true
            Layout.fillHeight: true
        }

    }

    ConfirmDialog {
        id: undecidedDialog

        objectName: "undecidedDialog"
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
