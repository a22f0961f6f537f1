import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import Tessavo
import "../components/ListMoves.js" as ListMoves

Item {
    id: page

    function addPdfs() {
        fileDialog.open()
    }

    function addFolder() {
        folderDialog.open()
    }

    function focusContent() {
        documentList.forceActiveFocus(Qt.TabFocusReason)
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 20
        spacing: 14

        PageHeader {
            title: qsTr("Import PDFs")
            subtitle: qsTr("Files are read locally. Nothing is uploaded.")

            Button {
                id: addPdfsButton

                objectName: "addPdfsButton"
                text: qsTr("Add PDFs")
                highlighted: true
                // The style draws the focus in the accent colour, which a highlighted button already
                // has: a ring around it shows the focus instead.
                FocusFrame {
                    anchors.margins: -4
                    visible: addPdfsButton.visualFocus
                }
                ToolTip.visible: hovered
                ToolTip.delay: 600
                ToolTip.text: qsTr("Add PDF files (Ctrl+O)")
                onClicked: page.addPdfs()
            }
            Button {
                objectName: "addFolderButton"
                text: qsTr("Add folder")
                ToolTip.visible: hovered
                ToolTip.delay: 600
                ToolTip.text: qsTr("Add every PDF of a folder and its subfolders (Ctrl+Shift+O)")
                onClicked: page.addFolder()
            }
            Button {
                objectName: "clearButton"
                text: qsTr("Clear")
                // Also stops a running import; only documents already listed need a confirmation.
                enabled: App.summary.total > 0 || App.importer.running
                Accessible.name: text
                Accessible.description: enabled ? "" : qsTr("The list is empty.")
                ToolTip.visible: hovered
                ToolTip.delay: 600
                ToolTip.text: App.importer.running ? qsTr("Stop the import and empty the list")
                                                   : qsTr("Remove every document and its decision from the list")
                onClicked: {
                    if (App.summary.total === 0) {
                        App.clearDocuments()
                        return
                    }
                    clearDialog.message = qsTr("Remove %n document(s) and their decisions?", "",
                                               App.summary.total)
                    clearDialog.open()
                }
            }
        }

        // Text recognition has a row of its own, so the header fits the narrowest window.
        RowLayout {
            objectName: "recognitionRow"
            Layout.fillWidth: true
            spacing: 10

            Item {
                Layout.fillWidth: true
            }
            ComboBox {
                objectName: "recognitionLanguageBox"
                // Only worth a choice when more than one language pack is installed.
                visible: App.recognition.languages.length > 1
                model: App.recognition.languages
                // A string list reaches QML as an array, which the 6.4 linter does not know.
                currentIndex: App.recognition.languages.indexOf(App.recognition.language) // qmllint disable type
                onActivated: index => App.recognition.language = App.recognition.languages[index]
                Accessible.name: qsTr("Text recognition language")
            }
            CheckBox {
                objectName: "recogniseDuringImportBox"
                text: qsTr("Recognise scans on import")
                checked: App.recognition.duringImport
                ToolTip.visible: hovered
                ToolTip.delay: 600
                ToolTip.text: qsTr("Read the text of scanned pages while they are imported")
                onToggled: App.recognition.duringImport = checked
            }
            Button {
                objectName: "recogniseButton"
                text: App.recognition.running ? qsTr("Cancel recognition") : qsTr("Recognise text")
                enabled: App.recognition.running || App.summary.needsOcr > 0
                Accessible.name: text
                Accessible.description: enabled ? "" : qsTr("No document needs text recognition.")
                ToolTip.visible: hovered
                ToolTip.delay: 600
                ToolTip.text: App.recognition.running ? qsTr("Stop recognising text")
                                                      : qsTr("Recognise the text of the scanned documents")
                onClicked: App.recognition.running ? App.recognition.cancel() : App.recognition.recogniseScans()
            }
        }

        CardList {
            id: documentList

            objectName: "documentList"
            scrollBarName: "documentScrollBar"
            Layout.fillWidth: true
            Layout.fillHeight: true
            model: App.documents
            Accessible.name: qsTr("Documents")
            Keys.onPressed: event => event.accepted = ListMoves.move(documentList, event.key)

            delegate: DocumentRow {
                width: (ListView.view as CardList).rowWidth
                focused: ListView.isCurrentItem && ListView.view.activeFocus
            }

            // The empty list shows the keyboard focus too.
            FocusFrame {
                objectName: "emptyListFocus"
                parent: documentList
                visible: documentList.activeFocus && documentList.count === 0
            }

            EmptyState {
                visible: documentList.count === 0
                lineHeight: 1.5
                text: qsTr("Drop PDFs or a folder here, or use “Add PDFs”.") + "\n"
                      + qsTr("Scanned files are marked “Needs OCR”; “Recognise text” reads their text.")
            }
        }
    }

    DropArea {
        id: dropArea

        objectName: "dropArea"
        anchors.fill: parent
        onDropped: drop => {
            if (drop.hasUrls) {
                App.importer.addUrls(drop.urls);
                drop.accept(Qt.CopyAction);
            }
        }
    }

    DropHighlight {
        objectName: "dropHighlight"
        anchors.fill: parent
        anchors.margins: 8
        visible: dropArea.containsDrag
    }

    ConfirmDialog {
        id: clearDialog

        objectName: "clearDialog"
        title: qsTr("Clear the list")
        confirmText: qsTr("Clear")
        onConfirmed: App.clearDocuments()
    }

    FileDialog {
        id: fileDialog

        objectName: "fileDialog"
        title: qsTr("Select PDF files")
        fileMode: FileDialog.OpenFiles
        nameFilters: [qsTr("PDF files (*.pdf)")]
        onAccepted: App.importer.addUrls(selectedFiles)
    }

    FolderPicker {
        id: folderDialog

        objectName: "importFolder"
        title: qsTr("Select a folder with PDFs")
        onChosen: folder => App.importer.addUrls([folder])
    }
}
