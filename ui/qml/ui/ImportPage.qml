import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import Tessavo

Item {
    id: page

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
                    text: qsTr("Import PDFs")
                    color: Theme.text
                    font.pixelSize: 22
                    font.weight: Font.DemiBold
                }
                Label {
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
                onClicked: fileDialog.open()
            }
            Button {
                objectName: "addFolderButton"
                text: qsTr("Add folder")
                onClicked: folderDialog.open()
            }
            Button {
                objectName: "clearButton"
                text: qsTr("Clear")
                enabled: app.summary.total > 0 && !app.importing
                onClicked: app.clearDocuments()
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

            delegate: Rectangle {
                id: entry

                required property string fileName
                required property int pages
                required property string sizeText
                required property string sha
                required property string stateText
                required property string category

                width: ListView.view.width
                height: 78
                radius: Theme.radius
                color: Theme.panel
                border.color: Theme.border

                RowLayout {
                    anchors.fill: parent
                    anchors.margins: 12
                    spacing: 12

                    ColumnLayout {
                        Layout.fillWidth: true
                        spacing: 4

                        Label {
                            Layout.fillWidth: true
                            text: entry.fileName
                            color: Theme.text
                            font.pixelSize: 14
                            font.weight: Font.Medium
                            elide: Text.ElideMiddle
                        }
                        Label {
                            Layout.fillWidth: true
                            text: qsTr("%1 pages · %2 · sha256 %3").arg(entry.pages).arg(entry.sizeText).arg(entry.sha)
                            color: Theme.muted
                            font.pixelSize: 11
                            elide: Text.ElideRight
                        }
                    }

                    Rectangle {
                        readonly property bool needsOcr: entry.stateText === "Needs OCR"

                        objectName: "stateChip"
                        visible: entry.stateText !== "Ready"
                        radius: 6
                        implicitWidth: stateLabel.implicitWidth + 16
                        implicitHeight: stateLabel.implicitHeight + 8
                        color: needsOcr ? Theme.warningSoft : "#fdecea"
                        border.color: needsOcr ? "#f3d3a8" : "#f5c2bd"

                        Label {
                            id: stateLabel

                            anchors.centerIn: parent
                            text: entry.stateText
                            font.pixelSize: 11
                            font.weight: Font.Medium
                            color: parent.needsOcr ? Theme.warning : Theme.danger
                        }
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
                anchors.centerIn: parent
                width: parent.width * 0.7
                visible: documentList.count === 0
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                color: Theme.muted
                font.pixelSize: 13
                lineHeight: 1.5
                text: qsTr("Drop PDFs or a folder here, or use “Add PDFs”.") + "\n"
                      + qsTr("Scanned files are marked “Needs OCR”; this version does not run OCR.")
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

    FileDialog {
        id: fileDialog

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
