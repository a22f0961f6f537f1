import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import Tessavo

Item {
    id: page

    function addPdfs() {
        fileDialog.open()
    }

    function addFolder() {
        folderDialog.open()
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 20
        spacing: 14

        RowLayout {
            Layout.fillWidth: true
            spacing: 10

            ColumnLayout {
                spacing: 2

                Label {
                    textFormat: Text.PlainText
                    text: qsTr("Import PDFs")
                    color: Theme.text
                    font.pixelSize: 22
                    font.weight: Font.DemiBold
                }
                Label {
                    textFormat: Text.PlainText
                    text: qsTr("Files are read locally. Nothing is uploaded.")
                    color: Theme.muted
                    font.pixelSize: 12
                }
            }
            Item {
                Layout.fillWidth: true
            }
            Button {
                objectName: "addPdfsButton"
                text: qsTr("Add PDFs")
                highlighted: true
                opacity: enabled ? 1 : 0.4
                onClicked: page.addPdfs()
            }
            Button {
                objectName: "addFolderButton"
                text: qsTr("Add folder")
                onClicked: page.addFolder()
            }
            Button {
                objectName: "clearButton"
                text: qsTr("Clear")
                // Also stops a running import; only documents already listed need a confirmation.
                enabled: app.summary.total > 0 || app.importing
                onClicked: {
                    if (app.summary.total === 0) {
                        app.clearDocuments()
                        return
                    }
                    clearDialog.message = qsTr("Remove %n document(s) and their decisions?", "",
                                               app.summary.total)
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
                visible: app.recognitionLanguages.length > 1
                model: app.recognitionLanguages
                currentIndex: app.recognitionLanguages.indexOf(app.recognitionLanguage)
                onActivated: index => app.recognitionLanguage = app.recognitionLanguages[index]
                Accessible.name: qsTr("Text recognition language")
            }
            CheckBox {
                objectName: "recogniseDuringImportBox"
                text: qsTr("Recognise scans on import")
                checked: app.recogniseDuringImport
                onToggled: app.recogniseDuringImport = checked
            }
            Button {
                objectName: "recogniseButton"
                text: app.recognising ? qsTr("Cancel recognition") : qsTr("Recognise text")
                enabled: app.recognising || app.summary.needsOcr > 0
                onClicked: app.recognising ? app.cancelRecognition() : app.recogniseScans()
            }
        }

        ListView {
            id: documentList

            objectName: "documentList"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            spacing: 8
            model: app.documents
            activeFocusOnTab: true
            keyNavigationEnabled: true
            // The row with the focus is always on screen; positioned once the change has settled,
            // since a model reset moves the current row too.
            function showCurrent() {
                if (currentIndex >= 0 && currentIndex < count)
                    positionViewAtIndex(currentIndex, ListView.Contain)
            }
            onCurrentIndexChanged: Qt.callLater(showCurrent)
            Accessible.role: Accessible.List
            Accessible.name: qsTr("Documents")

            ScrollBar.vertical: ListScrollBar {
                id: documentScrollBar

                objectName: "documentScrollBar"
            }

            delegate: Rectangle {
                id: entry

                required property int index
                required property string fileName
                required property string errorText
                required property string fileStatusText
                required property int pages
                required property string sizeText
                required property string sha
                required property string stateText
                required property string category
                required property string recognitionText

                width: ListView.view.width - (documentScrollBar.visible ? documentScrollBar.width + 4 : 0)
                height: recognitionText !== "" ? 96 : 78
                radius: Theme.radius
                color: Theme.panel
                border.color: Theme.border

                FocusFrame {
                    visible: entry.ListView.isCurrentItem && documentList.activeFocus
                }

                RowLayout {
                    anchors.fill: parent
                    anchors.margins: 12
                    spacing: 12

                    ColumnLayout {
                        Layout.fillWidth: true
                        spacing: 4

                        Label {
                            textFormat: Text.PlainText
                            Layout.fillWidth: true
                            text: entry.fileName
                            color: Theme.text
                            font.pixelSize: 14
                            font.weight: Font.Medium
                            elide: Text.ElideMiddle
                        }
                        Label {
                            textFormat: Text.PlainText
                            Layout.fillWidth: true
                            text: qsTr("%1 pages · %2 · sha256 %3", "", entry.pages).arg(entry.pages).arg(entry.sizeText).arg(entry.sha)
                            color: Theme.muted
                            font.pixelSize: 11
                            elide: Text.ElideRight
                        }
                        Label {
                            objectName: "recognitionText"
                            textFormat: Text.PlainText
                            Layout.fillWidth: true
                            visible: entry.recognitionText !== ""
                            text: entry.recognitionText
                            color: Theme.muted
                            font.pixelSize: 11
                            elide: Text.ElideRight
                        }
                        Label {
                            objectName: "errorText"
                            textFormat: Text.PlainText
                            Layout.fillWidth: true
                            visible: entry.errorText !== ""
                            text: entry.errorText
                            color: Theme.danger
                            font.pixelSize: 11
                            elide: Text.ElideRight
                        }
                        Label {
                            objectName: "fileStatusText"
                            textFormat: Text.PlainText
                            Layout.fillWidth: true
                            visible: entry.fileStatusText !== ""
                            text: entry.fileStatusText
                            color: Theme.warning
                            font.pixelSize: 11
                            elide: Text.ElideRight
                        }
                    }

                    StateChip {
                        objectName: "stateChip"
                        stateText: entry.stateText
                    }

                    Rectangle {
                        objectName: "categoryChip"
                        visible: entry.category !== ""
                        radius: 6
                        implicitWidth: categoryLabel.implicitWidth + 16
                        implicitHeight: categoryLabel.implicitHeight + 8
                        color: Theme.accentSoft
                        border.color: "#d5e2f4"

                        Label {
                            id: categoryLabel

                            textFormat: Text.PlainText
                            anchors.centerIn: parent
                            text: entry.category
                            font.pixelSize: 11
                            font.weight: Font.Medium
                            color: Theme.accent
                        }
                    }
                }
            }

            Label {
                objectName: "emptyText"
                textFormat: Text.PlainText
                anchors.centerIn: parent
                width: parent.width * 0.7
                visible: documentList.count === 0
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                color: Theme.muted
                font.pixelSize: 13
                lineHeight: 1.5
                text: qsTr("Drop PDFs or a folder here, or use “Add PDFs”.") + "\n"
                      + qsTr("Scanned files are marked “Needs OCR”; “Recognise text” reads their text.")
            }
        }
    }

    DropArea {
        objectName: "dropArea"
        anchors.fill: parent
        onDropped: drop => {
            if (drop.hasUrls) {
                app.addUrls(drop.urls);
                drop.accept(Qt.CopyAction);
            }
        }
    }

    ConfirmDialog {
        id: clearDialog

        objectName: "clearDialog"
        title: qsTr("Clear the list")
        confirmText: qsTr("Clear")
        onConfirmed: app.clearDocuments()
    }

    FileDialog {
        id: fileDialog

        objectName: "fileDialog"
        title: qsTr("Select PDF files")
        fileMode: FileDialog.OpenFiles
        nameFilters: [qsTr("PDF files (*.pdf)")]
        onAccepted: app.addUrls(selectedFiles)
    }

    FolderDialog {
        id: folderDialog

        title: qsTr("Select a folder with PDFs")
        onAccepted: app.addUrls([selectedFolder])
    }
}
